#include "common/accept_encoding.h"

#include <array>
#include <optional>
#include <string>

namespace common {
namespace {

// A weight in thousandths, as a qvalue has at most three decimals.
using Weight = int;

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

// qvalue = ( "0" [ "." 0*3DIGIT ] ) / ( "1" [ "." 0*3("0") ] )
std::optional<Weight> ParseQValue(std::string_view q) {
  if (q.empty() || (q[0] != '0' && q[0] != '1')) return std::nullopt;
  Weight whole = q[0] == '1' ? 1000 : 0;
  if (q.size() == 1) return whole;
  if (q[1] != '.' || q.size() > 5) return std::nullopt;
  Weight fraction = 0, scale = 100;
  for (char c : q.substr(2)) {
    if (c < '0' || c > '9') return std::nullopt;
    fraction += (c - '0') * scale;
    scale /= 10;
  }
  if (whole == 1000 && fraction != 0) return std::nullopt;
  return whole + fraction;
}

// One element: its coding and weight; nothing when it is not well formed.
struct Element {
  std::string_view coding;
  Weight weight = 1000;
};

std::optional<Element> ParseElement(std::string_view text) {
  Element e;
  std::size_t semicolon = text.find(';');
  e.coding = Trim(text.substr(0, semicolon));
  if (e.coding.empty()) return std::nullopt;
  for (char c : e.coding) {
    // A token's characters.
    bool token = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                 std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    if (!token) return std::nullopt;
  }
  while (semicolon != std::string_view::npos) {
    std::size_t next = text.find(';', semicolon + 1);
    std::string_view parameter = Trim(text.substr(semicolon + 1, next - semicolon - 1));
    semicolon = next;
    std::size_t equals = parameter.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    std::string_view name = Trim(parameter.substr(0, equals));
    std::string_view value = Trim(parameter.substr(equals + 1));
    if (!SameLetters(name, "q")) continue;  // another parameter: no weight of ours
    std::optional<Weight> weight = ParseQValue(value);
    if (!weight) return std::nullopt;
    e.weight = *weight;
  }
  return e;
}

}  // namespace

Coding ChooseCoding(std::string_view accept, bool present, bool gzip_ready, bool brotli_ready) {
  if (!present) return Coding::kIdentity;
  // Per coding (identity, gzip, br) and for "*": the weight named first.
  std::array<std::optional<Weight>, 3> named;
  std::optional<Weight> any;
  for (std::size_t at = 0; at <= accept.size();) {
    std::size_t comma = accept.find(',', at);
    if (comma == std::string_view::npos) comma = accept.size();
    std::string_view text = Trim(accept.substr(at, comma - at));
    at = comma + 1;
    if (text.empty()) continue;
    std::optional<Element> e = ParseElement(text);
    if (!e) continue;
    std::optional<Weight>* slot = nullptr;
    if (SameLetters(e->coding, "identity")) slot = &named[0];
    if (SameLetters(e->coding, "gzip") || SameLetters(e->coding, "x-gzip")) slot = &named[1];
    if (SameLetters(e->coding, "br")) slot = &named[2];
    if (e->coding == "*") slot = &any;
    if (slot != nullptr && !*slot) *slot = e->weight;
  }
  // Each candidate's weight, and whether it was asked for by name or "*"
  // (identity may be acceptable without either).
  struct Candidate {
    Coding coding;
    bool ready;
    Weight weight;
    bool asked;
  };
  auto weight_of = [&](std::size_t i) { return named[i] ? named[i] : any; };
  std::optional<Weight> identity = weight_of(0);
  const Candidate candidates[] = {
      {Coding::kBrotli, brotli_ready, weight_of(2).value_or(0), weight_of(2).has_value()},
      {Coding::kGzip, gzip_ready, weight_of(1).value_or(0), weight_of(1).has_value()},
      {Coding::kIdentity, true, identity.value_or(0), identity.has_value()},
  };
  const Candidate* best = nullptr;
  for (const Candidate& c : candidates) {
    if (!c.ready || (c.asked && c.weight == 0) || (!c.asked && c.coding != Coding::kIdentity)) {
      continue;
    }
    if (best == nullptr || c.weight > best->weight) best = &c;
  }
  return best == nullptr ? Coding::kIdentity : best->coding;
}

const char* CodingName(Coding coding) {
  switch (coding) {
    case Coding::kGzip:
      return "gzip";
    case Coding::kBrotli:
      return "br";
    case Coding::kIdentity:
      break;
  }
  return "";
}

}  // namespace common
