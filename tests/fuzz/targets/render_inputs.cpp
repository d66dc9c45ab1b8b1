// What tamovid-render reads from its user: a command line ("args" and one argument per line) or a job
// list whose templates lie in the corpus folder. Nothing is rendered; every job either resolves or says why.
#include <sstream>

#include "cli/job_list.h"
#include "cli/render_options.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(asText(data, size));
    if (text.rfind("args\n", 0) == 0) {
        std::vector<std::string> args;
        std::istringstream lines(text.substr(5));
        for (std::string line; std::getline(lines, line);) args.push_back(line);
        tamo::cli::ParsedOptions parsed = tamo::cli::parseRenderOptions(args);
        if (parsed.error.empty() && !parsed.options.help)
            FUZZ_CHECK(!parsed.options.output.empty() || !parsed.options.jobs.empty());
        return 0;
    }
    tamo::cli::JobList list = tamo::cli::parseJobList(text, TAMO_FUZZ_CORPUS "/render_inputs");
    std::vector<int> good;
    int previous = -1;
    for (const tamo::cli::JobLine& job : list.jobs) {
        FUZZ_CHECK(job.index == previous + 1 && job.lineNumber > job.index);
        previous = job.index;
        if (!job.ok()) continue;
        good.push_back(job.index);
        tamo::cli::LoadedJob loaded = tamo::cli::resolveJob(job);
        FUZZ_CHECK(!loaded.error.empty() || !loaded.inputs.outputURL.empty());
    }
    FUZZ_CHECK(good.empty() == tamo::cli::indexRanges(good).empty());
    return 0;
}
