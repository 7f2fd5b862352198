#pragma once

namespace qelvo {

// Called once at start-up.  Frame-sized blocks (a decoded snapshot, an encoder's output, a
// thumbnail's source picture) are made and freed on several threads all session long.  The
// C library raises its "map big blocks from the system" size after the first such block is
// freed, after which these blocks come from the heap and leave holes it never returns, so
// a day of snapshots grows the resident size though nothing stays in use.  Fixing the size
// keeps every block of 128 KiB or more mapped, and given back the moment it is freed.
void useSteadyMemoryPolicy();

}  // namespace qelvo
