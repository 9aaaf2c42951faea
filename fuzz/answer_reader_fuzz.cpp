// libFuzzer target for the answer reader. The first byte of the input picks a
// sequence of read kinds and (its top bit) whether text after a number is
// refused; the remaining bytes are the whole standard input.
// Reads go on until one fails, as a run stops at its first failed read, and
// every result is checked against what the reader promises.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>

#include "report/answer_reader.hpp"

namespace {

using kemro::AnswerReader;
using kemro::ReadResult;

enum class Read { Integer, Double, Character, Text14, Text1 };
constexpr std::size_t kReadKinds = 5;

// Values an item holds before a read, to see that a null value leaves it alone.
constexpr std::int32_t kUntouchedInteger = -77;
constexpr double kUntouchedDouble = -7.75;
constexpr char kUntouchedCharacter = '?';

constexpr std::string_view kListFormat = "list io";
constexpr std::string_view kText14Format = "(A14)";
constexpr std::string_view kText1Format = "(A1)";

void require(bool condition) {
  if (!condition) std::abort();
}

// The n-th read kind of a plan: the kinds step through all five in an
// arithmetic progression whose start and step come from the plan byte
// (step 0 repeats one kind).
Read read_kind(std::uint8_t plan, std::size_t n) {
  const std::size_t start = plan % kReadKinds;
  const std::size_t step = (plan / kReadKinds) % kReadKinds;
  return static_cast<Read>((start + n * step) % kReadKinds);
}

// Lines as getline sees them: a last line without its line end still counts.
std::size_t line_count(std::string_view input) {
  std::size_t lines = 0;
  for (char c : input) lines += c == '\n' ? 1 : 0;
  if (!input.empty() && input.back() != '\n') ++lines;
  return lines;
}

bool is_known_context(const std::string& context) {
  return context == "invalid integer" || context == "invalid number" ||
         context == "exponent field" || context == "bad repetition count" || context == "list in" ||
         context == "fmt";
}

// A failed read explains itself: a known context, a description, the layout
// that was in use, and a four-line diagnostic.
void check_failure(const AnswerReader& reader, std::string_view layout) {
  const kemro::InputError& error = reader.error();
  require(is_known_context(error.context));
  require(!error.description.empty());
  require(error.last_format == layout);
  const std::string diagnostic = kemro::input_diagnostic(error);
  std::size_t lines = 0;
  for (char c : diagnostic) lines += c == '\n' ? 1 : 0;
  require(lines == 4 && diagnostic.back() == '\n');
}

ReadResult read_integer(AnswerReader& reader) {
  std::int32_t item = kUntouchedInteger;
  const ReadResult result = reader.read_integer(item);
  if (result == ReadResult::Null) require(item == kUntouchedInteger);
  if (result == ReadResult::Failed) check_failure(reader, kListFormat);
  return result;
}

ReadResult read_double(AnswerReader& reader) {
  double item = kUntouchedDouble;
  const ReadResult result = reader.read_double(item);
  // Written digits never make a NaN: at most an infinity or a zero.
  if (result == ReadResult::Value) require(!std::isnan(item));
  if (result == ReadResult::Null) require(std::memcmp(&item, &kUntouchedDouble, sizeof item) == 0);
  if (result == ReadResult::Failed) check_failure(reader, kListFormat);
  return result;
}

ReadResult read_character(AnswerReader& reader) {
  char item = kUntouchedCharacter;
  const ReadResult result = reader.read_character(item);
  if (result == ReadResult::Null) require(item == kUntouchedCharacter);
  if (result == ReadResult::Failed) check_failure(reader, kListFormat);
  return result;
}

// A text read yields exactly `width` characters, or fails at the end of input.
ReadResult read_text(AnswerReader& reader, std::size_t width, std::string_view layout) {
  std::string item = "left over from an earlier read";
  const ReadResult result = reader.read_text(item, width, layout);
  require(result != ReadResult::Null);
  if (result == ReadResult::Value) require(item.size() == width);
  if (result == ReadResult::Failed) check_failure(reader, layout);
  return result;
}

ReadResult read_once(AnswerReader& reader, Read kind) {
  switch (kind) {
    case Read::Integer:
      return read_integer(reader);
    case Read::Double:
      return read_double(reader);
    case Read::Character:
      return read_character(reader);
    case Read::Text14:
      return read_text(reader, 14, kText14Format);
    case Read::Text1:
      break;
  }
  return read_text(reader, 1, kText1Format);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t plan = data[0];
  const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
  std::istringstream in{std::string(input)};
  // The plan's top bit picks the dialog's strict reading of numbers.
  constexpr std::uint8_t kStrictBit = 0x80;
  AnswerReader reader(
      in, (plan & kStrictBit) != 0 ? kemro::ExtraText::Refused : kemro::ExtraText::Discarded);

  // Every read takes at least one line, so one read more than there are
  // lines must have failed: this bounds the loop and checks that no read
  // stands still.
  const std::size_t max_reads = line_count(input) + 1;
  bool failed = false;
  for (std::size_t n = 0; n < max_reads && !failed; ++n) {
    failed = read_once(reader, read_kind(plan, n)) == ReadResult::Failed;
  }
  require(failed);
  return 0;
}
