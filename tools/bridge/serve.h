// serve.h - quillora-bridge as the browser starts it: the native messaging host in front of the control.
#pragma once

namespace bridge {

// Serves the browser on stdin and stdout until it closes the connection; returns the exit code.
int serve_browser();

}  // namespace bridge
