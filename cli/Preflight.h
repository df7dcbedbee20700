#pragma once

// What can be checked before any printer is touched is checked then: a run that would fail
// half-way for a file it cannot write, or a port named twice, fails before the first frame.

struct TCliRequest;

// Throws ECliError with exitUsage or exitFile and one sentence; sends nothing, changes no file.
void CheckBeforePrinters(const TCliRequest& r);
