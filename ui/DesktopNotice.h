#pragma once
// The desktop's notification at the end of an unattended run.
#include <string>

// Shows "Tarnex" and the line through the freedesktop notification service
// on the session bus. Without a session bus, or without the service, nothing
// is shown; the call waits at most a moment either way.
void NotifyDesktop(const std::string& line);
