#pragma once

// How the process's memory is backed.

namespace os
{
// Gathers the allocator's main heap into large pages (2 MiB on x86) where
// it has filled them. A game's objects are many small blocks spread over
// the heap, and walking them every frame costs more in address translation
// than in the work itself; with large pages one translation covers
// hundreds of them. Ranges the heap uses only in part stay on small pages
// (a large page is resident as a whole), and so does growth after the call
// until the next one, which is cheap for what is gathered already: call it
// at quiet moments. False when the kernel offers no large pages or no heap
// was found; nothing else changes then.
bool GatherHeapIntoLargePages();

// Hands the pages the allocator holds free back to the system: a heap keeps
// what a freed level or picture leaves in its middle, where the top's own
// trimming cannot reach, and the process's resident size stays at its
// highest. Call it after much was let go and before much is made again.
// True when pages went back.
bool ReturnFreeHeapPages();
} // namespace os
