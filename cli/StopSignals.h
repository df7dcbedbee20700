#pragma once

// SIGINT, SIGTERM and SIGHUP: the first asks every running job to stop after its current block
// and lets nothing new start; a second ends the process at once, with that signal's status.

#include <QObject>
#include <QString>
#include <functional>

// Installs the handlers; call before any thread starts so that none of them takes a signal.
bool CatchStopSignals();
// The first stop signal received; 0 while none has come.
int StopSignal();
// The exit status that reports it: 128 + the signal (129 SIGHUP, 130 SIGINT, 143 SIGTERM);
// 0 while none has come.
int StopStatus();
// "SIGINT", "SIGTERM" or "SIGHUP".
QString SignalName(int signal);
// Runs onStop on the main thread once the first signal has come (soon, if it already has), as
// long as context lives.
void WhenStopped(QObject* context, const std::function<void()>& onStop);
