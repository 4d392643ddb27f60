#pragma once
// The compile worker's loop: one job at a time from the host, each run within
// the scope the host gives it and answered, until the host closes its end.

namespace gfx::helper {

// Warms the front end, greets the host and serves; ends the process.
[[noreturn]] void ServeCompileJobs();

} // namespace gfx::helper
