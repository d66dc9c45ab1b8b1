#pragma once
#include "platform/failure_texts.h"

namespace tamo {

// Which kind of transport failure a libcurl result code stands for.
TransportFailure classifyCurlFailure(int curlCode);

}  // namespace tamo
