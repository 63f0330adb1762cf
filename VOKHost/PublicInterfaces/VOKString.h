#ifndef VOKString_h
#define VOKString_h
// Character strings of the host: VOKString (bytes) and VOKUnicodeString
// (text, kept as UTF-8).
#include <string>
#include "VOKCollections.h"

class VOKHOST_API VOKString {
 public:
  VOKString() = default;
  VOKString(const char* iText) : _Text(iText ? iText : "") {}
  VOKString(const std::string& iText) : _Text(iText) {}
  const char* CastToCharPtr() const { return _Text.c_str(); }
  int GetLengthInChar() const { return static_cast<int>(_Text.size()); }
  int IsNull() const { return _Text.empty(); }
  int operator==(const VOKString& iOther) const { return _Text == iOther._Text; }
  int operator!=(const VOKString& iOther) const { return _Text != iOther._Text; }
  int operator==(const char* iOther) const { return _Text == (iOther ? iOther : ""); }
  VOKString operator+(const VOKString& iOther) const { return VOKString(_Text + iOther._Text); }
  const std::string& Std() const { return _Text; }

 private:
  std::string _Text;
};

class VOKHOST_API VOKUnicodeString {
 public:
  VOKUnicodeString() = default;
  VOKUnicodeString(const char* iText) : _Text(iText ? iText : "") {}
  VOKUnicodeString(const std::string& iText) : _Text(iText) {}
  VOKUnicodeString(const VOKString& iText) : _Text(iText.Std()) {}
  /// The text as UTF-8 bytes.
  const char* ConvertToChar() const { return _Text.c_str(); }
  int GetLengthInChar() const { return static_cast<int>(_Text.size()); }
  int IsEmpty() const { return _Text.empty(); }
  int operator==(const VOKUnicodeString& iOther) const { return _Text == iOther._Text; }
  int operator!=(const VOKUnicodeString& iOther) const { return _Text != iOther._Text; }
  int operator==(const char* iOther) const { return _Text == (iOther ? iOther : ""); }
  VOKUnicodeString operator+(const VOKUnicodeString& iOther) const {
    return VOKUnicodeString(_Text + iOther._Text);
  }
  /// Replaces the text by iValue formatted with the printf format iFormat
  /// (one conversion for a double, e.g. "%g").
  void BuildFromNum(double iValue, const char* iFormat = "%g");
  /// Replaces the text by iValue formatted with iFormat (one int conversion).
  void BuildFromNum(int iValue, const char* iFormat = "%d");
  const std::string& Std() const { return _Text; }

 private:
  std::string _Text;
};

typedef VOKListVal<VOKUnicodeString> VOKListValVOKUnicodeString;

#endif
