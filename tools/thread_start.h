// Starting the export's worker threads where they can run at once.
#pragma once

#include <functional>
#include <thread>

namespace qztool {

// A thread running body, started on a core other than the calling thread's where the system lets
// us choose (Linux): there a new thread is queued behind its creator on the creator's core and
// waits 1 to 4 ms for the scheduler to move it while another core idles. Once running it may move
// like any other thread.
std::thread startThreadElsewhere(std::function<void()> body);

} // namespace qztool
