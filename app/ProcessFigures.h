#pragma once

// Figures about the running process, for the start-up and memory report of --timing.
namespace ProcessFigures {
// Milliseconds since the process was started by the system, or -1 when unknown.
double MillisecondsSinceProcessStart();
// Resident memory in kB, or -1 when unknown.
long ResidentKilobytes();
} // namespace ProcessFigures
