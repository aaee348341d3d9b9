#pragma once

namespace vq::platform {

// True while a debugger (any ptrace tracer) is attached to this process.
bool IsDebuggerPresent();

} // namespace vq::platform
