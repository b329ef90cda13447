// An always-terminated character buffer that grows in steps of 128 bytes.
#pragma once

#include <string>

class GrowableText {
 public:
  GrowableText() = default;
  explicit GrowableText(const char* text) { Set(text); }

  const char* Get() const { return mText.c_str(); }
  int Length() const { return static_cast<int>(mText.size()); }
  bool Empty() const { return mText.empty(); }

  void Set(const char* text);
  // Takes `count` characters (embedded terminators end the text early).
  void Set(const char* text, int count);
  // printf-style, cut to at most `maxChars` characters.
#if defined(__GNUC__)
  __attribute__((format(printf, 3, 4)))
#endif
  void SetFormatted(int maxChars, const char* format, ...);  // not used by this effect
#if defined(__GNUC__)
  __attribute__((format(printf, 3, 4)))
#endif
  void AppendFormatted(int maxChars, const char* format, ...);  // not used by this effect

 private:
  void Reserve(size_t length);
  std::string mText;
};
