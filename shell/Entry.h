#pragma once

namespace vq {

// The desktop program: single-instance guard, application, data module, main window, message
// loop. Returns the process exit code.
int RunVeloqua(int argc, char **argv);

} // namespace vq
