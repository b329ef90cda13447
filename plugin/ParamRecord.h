// One automatable parameter: a real value inside its range, seen by the host
// and the editor as a normalised 0..1 value, with its display texts.
#pragma once

#include <vector>

enum ParamType : int { kTypeNone = 0, kTypeEnum = 3, kTypeDouble = 4 };

// Every text of a parameter fits 31 characters and a terminator.
constexpr int kParamTextSize = 32;

struct ValueText {
  int value;
  char text[kParamTextSize];
};

// A parameter's value as a number in a unit hosts show (a gain in dB, a
// shift in hertz), for formats whose hosts hold plain numbers (LV2's control
// ports). The number may depend on another parameter's value, `by`: a
// shift's hertz on the selected range.
struct ParamQuantity {
  const char* unit;  // "dB", "Hz", "% wet"
  // The numbers over every `by`; the minimum and below stand for the
  // parameter's minimum (a gain's silence at -inf dB).
  double minimum;
  double maximum;
  int dependsOn;  // the parameter whose value is `by` (a lower index), or -1
  double (*fromValue)(double value, double by);
  double (*toValue)(double number, double by);
};

class ParamRecord {
 public:
  // Writes the display text of a value into a buffer of kParamTextSize bytes.
  typedef void (*DisplayFunc)(double value, char* text);
  // Reads a text in the form its display function writes into a real
  // value; false when the text is not in that form (the plain number rules
  // of ValueFromText then apply).
  typedef bool (*ParseFunc)(const char* text, double* value);

  ParamRecord();

  void SetupDouble(const char* name, double defaultValue, double minimum, double maximum, double step,
                   double shape);
  void AddValueText(int value, const char* text);

  void SetFromNormalized(double x) { value = ValueFromNormalized(x); }
  // The real value a normalised one stands for, as SetFromNormalized stores
  // it (enumerations rounded to their step).
  double ValueFromNormalized(double x) const;
  double NormalizedValue() const { return NormalizeValue(value); }
  double NormalizeValue(double v) const;
  // Writes at most kParamTextSize bytes including the terminator.
  void FormatValue(double v, bool normalised, char* text, bool useValueTexts) const;
  const char* LabelText() const;
  // Value clamped to the range, as chunks and text entry store it.
  void SetClamped(double v);

  bool HasValueTexts() const { return !valueTexts.empty(); }
  // First value text with exactly this text; false when there is none.
  bool FindValueText(const char* text, int* valueOut) const;
  // The real value a text names, for the host's text requests and the
  // editor's text box alike: what the parse function reads when it takes
  // the text, else an exact value text where the parameter has them (false
  // when none matches), else the text's leading number, with the sign
  // inverted for a negated display. "nan" reads 0.
  bool ValueFromText(const char* text, double* valueOut) const;

  // The texts of formats that are our own design (VST3, CLAP): the display
  // text with its unit ("-6.0 dB", "-inf dB", "500 Hz"), and the value of
  // any text the host shows or a user types: what ValueFromText reads,
  // enumerations' names in any case, and a bare number in the unit.
  void FormatForHost(double v, char* text) const;
  bool ValueFromHostText(const char* text, double* valueOut) const;

  DisplayFunc DisplayFunction = nullptr;
  ParseFunc ParseFunction = nullptr;
  ParamType type = kTypeNone;
  double value = 0.0;
  double minimum = 0.0;
  double maximum = 1.0;
  double step = 1.0;
  double shape = 1.0;
  double defaultValue = 0.0;
  int displayPrecision = 0;
  char name[kParamTextSize];
  char label[kParamTextSize];
  char group[kParamTextSize];
  char unit[8];  // the display's unit for hosts, where its text has none of its own
  bool negateDisplay = false;
  const ParamQuantity* quantity = nullptr;  // null: the value is its own number
  std::vector<ValueText> valueTexts;
};

// Truncates toward zero; NaN gives 0, values beyond the range saturate.
int TruncateToInt(double v);

// Copies at most size - 1 characters and always terminates (size > 0).
void CopyText(char* target, const char* source, int size);

// The leading decimal number of a text, as the C library's text-to-double
// conversion reads it but independent of the process locale; 0 without one.
double ParseLeadingNumber(const char* text);

// Whether a text ends in `unit` (letters compared without case), after
// blanks; "250 Hz", "250hz " end in "Hz".
bool TextEndsWithUnit(const char* text, const char* unit);

// Fixed-point text of v with `precision` decimals ("%.*f"), independent of
// the process locale; always terminated within `size` bytes. Returns text.
char* FormatFixed(char* text, int size, double v, int precision);
