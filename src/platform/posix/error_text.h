#pragma once

#include <string>

// The C library's text for an errno value, whichever strerror_r the C
// library provides (the XSI one returns a status, the GNU one a pointer).
std::string errorText(int errnum);
