#include "combineui/CombineController.h"

// The file jobs join the combine library in their own commits; until both are there this
// build has no runner and the windows say so when asked to combine.
#if __has_include("combine/FocusStackFiles.h") && __has_include("combine/MosaicFiles.h")
#include "combine/FocusStackFiles.h"
#include "combine/MosaicFiles.h"
#define QELVO_COMBINE_FILE_JOBS 1
#endif

namespace qelvo {

CombineRunner fileCombineRunner() {
#ifdef QELVO_COMBINE_FILE_JOBS
    return [](combine::CombineKind kind, const std::vector<std::string>& inputs,
              const std::string& output, const combine::CombineProgress& progress,
              std::string* error) {
        if (kind == combine::CombineKind::FocusStack) {
            combine::FocusStackRequest request;
            request.inputs = inputs;
            request.output = output;
            return combine::stackFocusFiles(request, progress, error);
        }
        combine::MosaicRequest request;
        request.inputs = inputs;
        request.output = output;
        return combine::stitchFiles(request, progress, error);
    };
#else
    return {};
#endif
}

}  // namespace qelvo
