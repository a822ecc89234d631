#pragma once
// Orderly stops on SIGINT and SIGTERM. The handler only notes the signal; the
// time loop finishes the step it is in, the run writes its summary and closes
// its outputs, and the program ends with 128 plus the signal's number.

namespace torva {

// Installs the handler for SIGINT and SIGTERM. After the first signal the
// next one of the same kind ends the program at once.
void install_stop_handlers();

// The signal that asked the runs to stop, or 0 while none has.
int stop_signal();

// "SIGINT" or "SIGTERM".
const char* stop_signal_name(int signal);

}  // namespace torva
