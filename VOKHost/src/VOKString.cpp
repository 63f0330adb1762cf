// Formatting of numbers into texts.
#include "VOKString.h"

#include <cstdio>

void VOKUnicodeString::BuildFromNum(double iValue, const char* iFormat) {
  char text[128];
  std::snprintf(text, sizeof text, iFormat ? iFormat : "%g", iValue);
  _Text = text;
}

void VOKUnicodeString::BuildFromNum(int iValue, const char* iFormat) {
  char text[64];
  std::snprintf(text, sizeof text, iFormat ? iFormat : "%d", iValue);
  _Text = text;
}
