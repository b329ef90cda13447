#include "plugin/ParamRecord.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

int TruncateToInt(double v) {
  if (!(v > -2147483648.0)) return v != v ? 0 : INT32_MIN;
  if (!(v < 2147483648.0)) return INT32_MAX;
  return static_cast<int>(v);
}

void CopyText(char* target, const char* source, int size) {
  if (target == nullptr || size <= 0) return;
  if (source == nullptr) source = "";
  const size_t length = strnlen(source, static_cast<size_t>(size - 1));
  std::memcpy(target, source, length);
  target[length] = '\0';
}

ParamRecord::ParamRecord() {
  name[0] = label[0] = group[0] = unit[0] = '\0';
  valueTexts.reserve(4096 / sizeof(ValueText));
}

void ParamRecord::SetupDouble(const char* newName, double defaultValue_, double minimum_, double maximum_,
                              double step_, double shape_) {
  if (type == kTypeNone) type = kTypeDouble;
  CopyText(name, newName, kParamTextSize);
  label[0] = group[0] = '\0';
  minimum = minimum_;
  value = defaultValue = defaultValue_;
  step = step_;
  maximum = maximum_ > minimum_ + step_ ? maximum_ : minimum_ + step_;
  displayPrecision = 0;
  double working = step;
  while (working != std::floor(working) && displayPrecision < 6) {
    ++displayPrecision;
    working *= 10.0;
  }
  if (shape_ != 0.0) shape = shape_;
}

void ParamRecord::AddValueText(int v, const char* text) {
  ValueText entry;
  entry.value = v;
  CopyText(entry.text, text, kParamTextSize);
  valueTexts.push_back(entry);
}

double ParamRecord::ValueFromNormalized(double x) const {
  double v = minimum + std::pow(x, shape) * (maximum - minimum);
  if (type != kTypeDouble) v = std::floor(v / step + 0.5) * step;
  return v < maximum ? v : maximum;
}

double ParamRecord::NormalizeValue(double v) const {
  if (v < minimum) v = minimum;
  if (v > maximum) v = maximum;
  return std::pow((v - minimum) / (maximum - minimum), 1.0 / shape);
}

void ParamRecord::SetClamped(double v) {
  // A NaN from a damaged chunk must not reach the signal path.
  if (v != v) v = defaultValue;
  if (v < minimum) v = minimum;
  if (v > maximum) v = maximum;
  value = v;
}

void ParamRecord::FormatValue(double v, bool normalised, char* text, bool useValueTexts) const {
  if (text == nullptr) return;
  if (normalised) v = minimum + std::pow(v, shape) * (maximum - minimum);
  char out[kParamTextSize];
  out[0] = '\0';
  if (DisplayFunction != nullptr) {
    DisplayFunction(v, out);
    CopyText(text, out, kParamTextSize);
    return;
  }
  if (useValueTexts && !valueTexts.empty()) {
    const int key = TruncateToInt(v);
    for (const ValueText& entry : valueTexts) {
      if (entry.value != key) continue;
      if (entry.text[0] != '\0') {
        CopyText(text, entry.text, kParamTextSize);
        return;
      }
      break;
    }
  }
  if (negateDisplay) v = -v;
  if (displayPrecision == 0)
    std::snprintf(out, sizeof out, "%d", TruncateToInt(v));
  else
    FormatFixed(out, sizeof out, v, displayPrecision);
  CopyText(text, out, kParamTextSize);
}

const char* ParamRecord::LabelText() const {
  if (!valueTexts.empty()) {
    const int key = TruncateToInt(value);
    for (const ValueText& entry : valueTexts)
      if (entry.value == key && entry.text[0] != '\0') return "";
  }
  return label;
}

bool ParamRecord::FindValueText(const char* text, int* valueOut) const {
  for (const ValueText& entry : valueTexts) {
    if (std::strcmp(entry.text, text) == 0) {
      *valueOut = entry.value;
      return true;
    }
  }
  return false;
}

double ParseLeadingNumber(const char* text) {
  if (text == nullptr) return 0.0;
  char bounded[256];
  CopyText(bounded, text, sizeof bounded);
  const char* at = bounded;
  while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
  bool negative = false;
  if (*at == '+' || *at == '-') {
    negative = *at == '-';
    ++at;
  }
  if (*at == '+' || *at == '-') return 0.0;
  double v = 0.0;
  const char* end = bounded + std::strlen(bounded);
  const std::from_chars_result result = std::from_chars(at, end, v, std::chars_format::general);
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond the range of a double, as the C conversion answers.
    v = HUGE_VAL;
  } else if (result.ec != std::errc()) {
    return 0.0;
  }
  return negative ? -v : v;
}

char* FormatFixed(char* text, int size, double v, int precision) {
  if (text == nullptr || size <= 0) return text;
  char buffer[400];  // room for the largest double in fixed notation
  const std::to_chars_result result =
      std::to_chars(buffer, buffer + sizeof buffer - 1, v, std::chars_format::fixed, precision);
  *(result.ec == std::errc() ? result.ptr : buffer) = '\0';
  CopyText(text, buffer, size);
  return text;
}

bool TextEndsWithUnit(const char* text, const char* unit) {
  if (text == nullptr || unit == nullptr) return false;
  size_t end = strnlen(text, 256);
  while (end > 0 && (text[end - 1] == ' ' || (text[end - 1] >= '\t' && text[end - 1] <= '\r'))) --end;
  const size_t length = std::strlen(unit);
  if (length == 0 || end < length) return false;
  for (size_t i = 0; i < length; ++i) {
    const char a = text[end - length + i], b = unit[i];
    const char lowerA = a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a;
    const char lowerB = b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b;
    if (lowerA != lowerB) return false;
  }
  return true;
}

namespace {

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameIgnoringCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b)
    if (Lower(*a) != Lower(*b)) return false;
  return *a == *b;
}

// A number and nothing else, or minus infinity as users write it.
bool IsBareNumber(const char* text) {
  if (SameIgnoringCase(text, "-inf") || SameIgnoringCase(text, "-oo")) return true;
  const char* c = text;
  if (*c == '+' || *c == '-') ++c;
  bool digits = false;
  for (; *c != '\0'; ++c) {
    if (*c >= '0' && *c <= '9') digits = true;
    else if (*c != '.') return false;
  }
  return digits;
}

}  // namespace

bool ParamRecord::ValueFromText(const char* text, double* valueOut) const {
  double v;
  if (ParseFunction != nullptr && text != nullptr && ParseFunction(text, &v)) {
    *valueOut = v != v ? 0.0 : v;
    return true;
  }
  if (HasValueTexts()) {
    int found = 0;
    if (!FindValueText(text, &found)) {
      // "500 Hz", as the formats with units show it, names "500".
      if (text == nullptr || unit[0] == '\0' || !TextEndsWithUnit(text, unit)) return false;
      char name[kParamTextSize];
      CopyText(name, text, sizeof name);
      size_t end = std::strlen(name);
      while (end > 0 && IsBlank(name[end - 1])) --end;
      end = end >= std::strlen(unit) ? end - std::strlen(unit) : 0;
      while (end > 0 && IsBlank(name[end - 1])) --end;
      name[end] = '\0';
      if (end == 0 || !FindValueText(name, &found)) return false;
    }
    v = found;
  } else {
    v = ParseLeadingNumber(text);
    if (negateDisplay) v = -v;
    if (v != v) v = 0.0;  // not a number a user means
  }
  *valueOut = v;
  return true;
}

void ParamRecord::FormatForHost(double v, char* text) const {
  FormatValue(v, false, text, true);
  if (unit[0] == '\0') return;
  // Only a number takes the unit: "1/16" and "Off" are names.
  if (!IsBareNumber(text)) return;
  if (std::strcmp(text, "-oo") == 0) CopyText(text, "-inf", kParamTextSize);
  const size_t length = std::strlen(text);
  std::snprintf(text + length, static_cast<size_t>(kParamTextSize) - length, " %s", unit);
}

bool ParamRecord::ValueFromHostText(const char* text, double* valueOut) const {
  if (text == nullptr) return false;
  char trimmed[kParamTextSize * 2];
  while (IsBlank(*text)) ++text;
  CopyText(trimmed, text, sizeof trimmed);
  for (size_t end = std::strlen(trimmed); end > 0 && IsBlank(trimmed[end - 1]); --end) trimmed[end - 1] = '\0';
  double v;
  if (ParseFunction != nullptr && ParseFunction(trimmed, &v)) {
    *valueOut = v != v ? 0.0 : v;
    return true;
  }
  if (HasValueTexts()) {
    // "500 Hz" names the value text "500".
    if (unit[0] != '\0' && TextEndsWithUnit(trimmed, unit)) {
      size_t end = std::strlen(trimmed) - std::strlen(unit);
      while (end > 0 && IsBlank(trimmed[end - 1])) --end;
      trimmed[end] = '\0';
    }
    for (const ValueText& entry : valueTexts) {
      if (entry.text[0] == '\0' || !SameIgnoringCase(entry.text, trimmed)) continue;
      *valueOut = entry.value;
      return true;
    }
    return false;
  }
  if (unit[0] != '\0' && ParseFunction != nullptr && IsBareNumber(trimmed)) {
    char withUnit[sizeof trimmed + 8];
    std::snprintf(withUnit, sizeof withUnit, "%s %s", trimmed, unit);
    if (ParseFunction(withUnit, &v)) {
      *valueOut = v != v ? 0.0 : v;
      return true;
    }
  }
  return ValueFromText(trimmed, valueOut);
}
