#include "combine/FocusStackFiles.h"
#include "combine/MosaicFiles.h"
#include "combineui/CombineController.h"

namespace qelvo {

CombineRunner fileCombineRunner() {
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
}

}  // namespace qelvo
