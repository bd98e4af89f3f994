// How a validating child on Windows names the exception that ends it and tells lumhost
// so before it dies: no dialog box or debugger waits for a user who is not there.
// [Windows only]
#pragma once

#include <string>

namespace lumhost {

// "EXCEPTION_ACCESS_VIOLATION", or "exception 0xe06d7363" for a code without a name.
std::string exceptionName(unsigned long code);

// From now on an exception nothing handles, a stack overflow included, ends this process
// with the exception's code, once a crash line naming it and the module and offset it
// happened at is written to `reportPipe`.
void reportCrashesTo(void* reportPipe);

}  // namespace lumhost
