#include "engine/install_state.h"

#include <cstdarg>
#include <cstdio>

InstallState g_installState;

void SetErrorText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  // vsnprintf stops at the buffer's end and always terminates, so a long
  // installation directory or file name shortens the message instead of
  // running past errorText.
  int written = std::vsnprintf(g_installState.errorText, sizeof g_installState.errorText, format, args);
  va_end(args);
  if (written < 0) g_installState.errorText[0] = '\0';  // an encoding error leaves the text undefined
}
