#include "platform/user_media_folder.h"

#include <glib.h>
#include <glib/gstdio.h>

namespace tamo {

std::filesystem::path userMediaFolder() {
    std::filesystem::path folder = std::filesystem::path(g_get_user_data_dir()) / "tamovid" / "media";
    g_mkdir_with_parents(folder.c_str(), 0700);
    return folder;
}

}  // namespace tamo
