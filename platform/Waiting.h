#pragma once

// Waiting on the system's descriptors (a reader's keyboard side, udev's
// hot-plug news) while a request to stop (Ctrl+C, SIGTERM) may come. On
// Windows there is nothing of the kind to wait for: the commands that wait
// end before, saying why.
namespace rdrconf::platform {

enum class WaitResult {
  kReady,     // the descriptor is readable
  kStopped,   // the program was asked to stop
  kTimedOut,  // the time ran out
  kGone,      // the descriptor hung up or failed: its device is gone
};

// Waits until `descriptor` is readable or the stop descriptor `stop` (-1:
// none) is, at most `milliseconds` (-1: without end).
WaitResult WaitReadable(int descriptor, int stop, int milliseconds);

// Waits `milliseconds` unless the stop descriptor `stop` (-1: none) becomes
// readable first; false then.
bool Pause(int stop, int milliseconds);

// Whether the stop descriptor `stop` is readable now.
bool StopRequested(int stop);

// Makes SIGINT and SIGTERM ask the program to stop: gives a descriptor
// that becomes readable then (-1 where there is none), and ignores SIGPIPE,
// so that a reader of our output that goes away never ends the program
// between two exchanges with a reader (a failed write is reported instead).
// On Windows it makes the console take UTF-8.
int PrepareCommandLineProcess();

}  // namespace rdrconf::platform
