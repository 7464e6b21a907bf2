// The server's event loop as the rest of the process reaches it. The loop runs on one thread
// (the main thread of the server); every pipe operation, session and command handler runs
// there. Other threads (the learning thread, the companion waiters, the stop-event thread) only
// post work to it or stop it, through the functions here, which take one lock around reading
// the loop and posting to it and around clearing it: once stopServerLoop has returned, nothing
// is posted into that loop any more, so start-up may destroy it.
//
// Not responsible for: running the loop, or tearing the server down (runServer).
#pragma once

#include <functional>

namespace asio {
class io_context;
}

namespace kov {

// Makes loop the server's loop; the calling thread is the loop's thread from now on.
void attachServerLoop(asio::io_context& loop);
// Forgets loop without stopping it, if it is the server's loop (tests that end their loop).
void detachServerLoop(asio::io_context& loop);
// Clears the server's loop and stops it; false when none was set (already stopped).
bool stopServerLoop();

// Runs work later on the loop's thread; false (work dropped) when no loop is set, i.e. the
// server is stopping.
bool postToServerLoop(std::function<void()> work);
// Runs work at once when called on the loop's thread, else posts it (dropped when stopping).
void runOnServerLoop(std::function<void()> work);

// The stop of a console event: stops the loop and, with wait, returns only after the server
// was torn down (signalServerTornDown), also when the loop was already stopped by the "exit"
// command, so that the system does not end the process in the middle of saving.
void stopServer(bool wait);
// Called by start-up as its last act; releases every stopServer that waits. Once only.
void signalServerTornDown();

}  // namespace kov
