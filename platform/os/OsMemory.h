#pragma once

// How the process's memory is backed.

namespace os
{
// Marks the allocator's main heap for large (2 MiB) pages and gathers what
// it already holds into them now. A game's objects are many small blocks
// spread over the heap, and walking them every frame costs more in address
// translation than in the work itself; with large pages one translation
// covers hundreds of them. Growth after the call stays on small pages until
// the next call, which is cheap for what is already gathered: call it after
// loading and at quiet moments. False when the kernel offers no large pages
// on request or no heap was found; nothing else changes then.
bool GatherHeapIntoLargePages();
} // namespace os
