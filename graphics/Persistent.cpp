#include "graphics/Persistent.h"

#include <charconv>
#include <cmath>

namespace velkor {

namespace {

[[noreturn]] void NotANumber(const std::string& text) {
  throw EConvertError("'" + text + "' is not a valid number");
}

std::int64_t ParseInteger(const std::string& text) {
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) NotANumber(text);
  return value;
}

double ParseFloat(const std::string& text) {
  double value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) NotANumber(text);
  return value;
}

}  // namespace

std::int64_t VarAsInteger(const TPropValue& V) {
  if (auto* i = std::get_if<std::int64_t>(&V)) return *i;
  if (auto* d = std::get_if<double>(&V)) {
    // A float travels into an integer property rounded to nearest, ties to
    // even, and only when it fits.
    if (!std::isfinite(*d) || std::fabs(*d) >= 9.2e18) {
      throw EConvertError("Float value out of integer range");
    }
    return std::llrint(*d);
  }
  if (auto* s = std::get_if<std::string>(&V)) return ParseInteger(*s);
  return 0;
}

double VarAsFloat(const TPropValue& V) {
  if (auto* i = std::get_if<std::int64_t>(&V)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&V)) return *d;
  if (auto* s = std::get_if<std::string>(&V)) return ParseFloat(*s);
  return 0;
}

std::string VarAsString(const TPropValue& V) {
  if (auto* i = std::get_if<std::int64_t>(&V)) return std::to_string(*i);
  if (auto* d = std::get_if<double>(&V)) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d);
    return ec == std::errc() ? std::string(buf, end) : std::string();
  }
  if (auto* s = std::get_if<std::string>(&V)) return *s;
  return {};
}

bool TClassInfo::InheritsFrom(TClass Ancestor) const {
  for (TClass c = this; c; c = c->Parent) {
    if (c == Ancestor) return true;
  }
  return false;
}

std::vector<const TPropInfo*> TClassInfo::AllProperties() const {
  std::vector<const TPropInfo*> result;
  if (Parent) result = Parent->AllProperties();
  for (const TPropInfo& p : Properties) result.push_back(&p);
  return result;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view PropName) const {
  for (TClass c = this; c; c = c->Parent) {
    for (const TPropInfo& p : c->Properties) {
      if (p.Name == PropName) return &p;
    }
  }
  return nullptr;
}

std::unique_ptr<TPersistent> TClassInfo::Create() const {
  if (!Factory) throw EConvertError("Cannot create an instance of " + std::string(Name));
  return Factory();
}

const TClassInfo& TPersistent::StaticClass() {
  static const TClassInfo info{"TPersistent", nullptr, [] { return New<TPersistent>(); }, {}};
  return info;
}

void TPersistent::Assign(const TPersistent* Source) {
  if (!Source) AssignError(nullptr);
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* Source) const {
  std::string from = Source ? std::string(Source->ClassName()) : std::string("nil");
  throw EConvertError("Cannot assign a " + from + " to a " + std::string(ClassName()));
}

const TClassInfo& TGraphic::StaticClass() {
  static const TClassInfo info{"TGraphic", &TPersistent::StaticClass(), {}, {}};
  return info;
}

const TClassInfo& TControl::StaticClass() {
  static const TClassInfo info{"TControl", &TPersistent::StaticClass(), {}, {}};
  return info;
}

}  // namespace velkor
