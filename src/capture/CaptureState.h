#pragma once

namespace qelvo {

// Result of one frame handed to a callback, as the grabber would see it.
enum class FrameResult { Ok, InvalidPointer, OutOfMemory };

}  // namespace qelvo
