// The readers' toolkit: refusals, numbers read alone and the counts' checks. The stream's reading
// ahead is inline, in reading.hpp, for the loops that hold it.
#include "reading.hpp"

#include "scan.hpp"

namespace zorv {
namespace {

// Where a scanner that read from p, the start of a held token, stopped: nullptr if it read no
// number. p moves past a number that is read.
number_state after_scan(text_window& w, const char* next) {
  if (next == nullptr) return number_state::missing;
  if (static_cast<std::size_t>(next - w.p) > longest_token) return number_state::too_long;
  w.p = next;
  return number_state::read;
}

} // namespace

bool refuse_on_line(std::int64_t line, std::initializer_list<std::string_view> parts,
                    std::string& error) {
  error = "line ";
  error += std::to_string(line);
  error += ": ";
  for (const std::string_view part : parts) error += part;
  return false;
}

bool refuse_at(const text_window& w, const char* where,
               std::initializer_list<std::string_view> parts, std::string& error) {
  const bool ended = where == w.end && w.at_end;
  return refuse_on_line(ended ? line_of_text_end(w) : line_of(w, where), parts, error);
}

bool refuse_long_number(const text_window& w, std::string& error) {
  return refuse_at(w, w.p, {"number longer than ", std::to_string(longest_token), " characters"},
                   error);
}

std::string ordinal_of(std::int32_t ordinal, std::int32_t count) {
  std::string text = std::to_string(ordinal);
  text += " of ";
  return text += std::to_string(count);
}

number_state read_float_alone(text_window& w, float& value) {
  hold_token(w);
  return after_scan(w, scan_float(w.p, w.end, value));
}

number_state read_int_alone(text_window& w, std::int32_t& value, bool& overflow) {
  hold_token(w);
  return after_scan(w, scan_int(w.p, w.end, value, overflow));
}

bool refuse_counts(std::int64_t line, std::span<const count_need> counts, std::uint64_t bytes,
                   std::string& error) {
  std::uint64_t need = 0;
  for (const count_need& c : counts) {
    need += static_cast<std::uint64_t>(c.value) * c.least_bytes;
    if (need <= bytes) continue;
    refuse_on_line(line, {c.noun, " ", std::to_string(c.value), " is more than the file can hold"},
                   error);
    return true;
  }
  return false;
}

bool place_counts(const text_window& w, const char* after, std::int64_t line,
                  std::span<const count_need> counts, count_place& place, std::string& error) {
  const std::int64_t bytes = bytes_after(w, after);
  place = {bytes >= 0, line, offset_of(w, after)};
  return !(place.checked && refuse_counts(line, counts, static_cast<std::uint64_t>(bytes), error));
}

bool counts_refused(text_window& w, const count_place& place, std::span<const count_need> counts,
                    std::string& error) {
  if (place.checked) return false;
  if (!w.at_end) refill(w, w.capacity);
  if (!w.at_end) return false;
  return refuse_counts(place.line, counts, offset_of(w, w.end) - place.offset, error);
}

} // namespace zorv
