// The object model the raster library and the components build on: objects
// that can be assigned to one another, a class reference with a name, a
// virtual constructor and a list of published properties, and the errors of
// that model.
//
// C++ has no run-time type information of the kind the library needs (class
// names as the program spells them, constructing an object from a class
// reference, copying published properties by name), so every class that
// takes part declares it once:
//
//   static const TClassInfo& StaticClass();           // its class reference
//   const TClassInfo& ClassType() const override;      // returns StaticClass()
//
// The class reference lists the class's own published properties in
// declaration order; AllProperties walks the ancestors first, which is the
// order in which they are copied.
//
// Objects are made with New<T>(...): the constructor runs, then
// AfterConstruction, the step that runs once the most-derived constructor has
// finished (reference-counted objects drop their construction guard there).
#pragma once

#include "core/ConvertError.h"
#include "core/Notify.h"
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace velkor {

class TPersistent;
struct TClassInfo;

// A class reference; nullptr stands for "no class".
using TClass = const TClassInfo*;


// Errors of the object model. EPersistentError is an object used against
// its protocol (freed while referenced, sized from something without a size).
class EPersistentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EPropertyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The kinds of published properties. The ordinals are a contract: callers
// pass sets of kinds as bit masks (bit n = ordinal n).
enum TTypeKind : std::uint8_t {
  tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
  tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64,
  tkDynArray, tkUString, tkClassRef, tkPointer, tkProcedure
};

struct TTypeKinds {
  std::uint32_t Bits = 0;

  constexpr TTypeKinds() = default;
  constexpr explicit TTypeKinds(std::uint32_t bits) : Bits(bits) {}
  constexpr TTypeKinds(std::initializer_list<TTypeKind> kinds) {
    for (TTypeKind k : kinds) Bits |= 1u << k;
  }
  constexpr bool Contains(TTypeKind k) const { return (Bits >> k) & 1u; }
};

// Every kind that holds data: all but tkUnknown and tkMethod (events).
inline constexpr TTypeKinds tkProperties{0x3FFEFEu};

// A property value as it travels between two objects. Enumerations travel as
// their names, so a value survives between classes whose ordinals differ.
using TPropValue = std::variant<std::monostate, std::int64_t, double, std::string>;

// Conversions of a property value; a text that does not hold a number
// raises EConvertError naming the text.
std::int64_t VarAsInteger(const TPropValue& V);
double VarAsFloat(const TPropValue& V);
std::string VarAsString(const TPropValue& V);

// One published property. Object properties (tkClass) are read through
// GetObject; every other kind through GetValue and SetValue. A property
// without SetValue is read-only.
struct TPropInfo {
  std::string Name;
  TTypeKind Kind = tkUnknown;
  std::function<TPropValue(const TPersistent&)> GetValue;
  std::function<void(TPersistent&, const TPropValue&)> SetValue;
  std::function<TPersistent*(const TPersistent&)> GetObject;
};

// A class reference: the class's name, its parent, its virtual constructor
// (empty for a class that cannot be made on its own) and its own published
// properties.
struct TClassInfo {
  std::string_view Name;
  TClass Parent = nullptr;
  std::function<std::unique_ptr<TPersistent>()> Factory;
  std::vector<TPropInfo> Properties;

  // True for this class and every descendant of Ancestor.
  bool InheritsFrom(TClass Ancestor) const;
  // The published properties of the ancestors first, then the class's own.
  std::vector<const TPropInfo*> AllProperties() const;
  // The property of that name (exact), searching the ancestors too; nullptr
  // when the class has none.
  const TPropInfo* FindProperty(std::string_view PropName) const;
  // The virtual constructor; raises EConvertError for a class without one.
  std::unique_ptr<TPersistent> Create() const;
};

// Builders for published properties. Get is a callable taking const C&,
// Set a callable taking (C&, value).
template <class C, class Get, class Set>
TPropInfo IntegerProperty(std::string Name, Get get, Set set) {
  return {std::move(Name), tkInteger,
          [get](const TPersistent& o) -> TPropValue {
            return static_cast<std::int64_t>(std::invoke(get, static_cast<const C&>(o)));
          },
          [set](TPersistent& o, const TPropValue& v) {
            std::invoke(set, static_cast<C&>(o), VarAsInteger(v));
          },
          {}};
}

template <class C, class Get, class Set>
TPropInfo FloatProperty(std::string Name, Get get, Set set) {
  return {std::move(Name), tkFloat,
          [get](const TPersistent& o) -> TPropValue {
            return static_cast<double>(std::invoke(get, static_cast<const C&>(o)));
          },
          [set](TPersistent& o, const TPropValue& v) {
            std::invoke(set, static_cast<C&>(o), VarAsFloat(v));
          },
          {}};
}

template <class C, class Get, class Set>
TPropInfo StringProperty(std::string Name, Get get, Set set) {
  return {std::move(Name), tkUString,
          [get](const TPersistent& o) -> TPropValue {
            return std::string(std::invoke(get, static_cast<const C&>(o)));
          },
          [set](TPersistent& o, const TPropValue& v) {
            std::invoke(set, static_cast<C&>(o), VarAsString(v));
          },
          {}};
}

// An enumeration E whose values are 0 .. Names.size() - 1, travelling as
// its names. Names must outlive the class reference (a static table).
// Setting a name the enumeration lacks raises EPropertyError.
template <class C, class E, class Get, class Set>
TPropInfo EnumProperty(std::string Name, std::span<const std::string_view> Names, Get get,
                       Set set) {
  return {std::move(Name), tkEnumeration,
          [get, Names](const TPersistent& o) -> TPropValue {
            auto ord = static_cast<std::size_t>(std::invoke(get, static_cast<const C&>(o)));
            return ord < Names.size() ? std::string(Names[ord]) : std::to_string(ord);
          },
          [set, Names](TPersistent& o, const TPropValue& v) {
            std::string text = VarAsString(v);
            for (std::size_t i = 0; i < Names.size(); ++i) {
              if (Names[i] == text) {
                std::invoke(set, static_cast<C&>(o), static_cast<E>(i));
                return;
              }
            }
            throw EPropertyError("Invalid property value '" + text + "'");
          },
          {}};
}

template <class C, class Get>
TPropInfo ObjectProperty(std::string Name, Get get) {
  return {std::move(Name), tkClass, {}, {}, [get](const TPersistent& o) -> TPersistent* {
            return std::invoke(get, static_cast<const C&>(o));
          }};
}

// The base of objects that can be assigned to one another.
class TPersistent : public TObject {
 public:
  TPersistent() = default;
  TPersistent(const TPersistent&) = delete;
  TPersistent& operator=(const TPersistent&) = delete;

  static const TClassInfo& StaticClass();
  virtual const TClassInfo& ClassType() const { return StaticClass(); }
  std::string_view ClassName() const { return ClassType().Name; }
  bool InheritsFrom(TClass Ancestor) const { return ClassType().InheritsFrom(Ancestor); }

  // Runs once the most-derived constructor has finished (see New).
  virtual void AfterConstruction() {}

  // Copies Source into this object. The base asks Source to assign itself
  // (AssignTo); nil or a source that cannot raises EConvertError
  // "Cannot assign a <source class> to a <this class>".
  virtual void Assign(const TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest) const;
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

// Makes an object and completes its construction.
template <class T, class... Args>
std::unique_ptr<T> New(Args&&... args) {
  auto obj = std::make_unique<T>(std::forward<Args>(args)...);
  obj->AfterConstruction();
  return obj;
}

// The toolkit's picture and control bases, as far as the raster library
// looks at them: something with a size in pixels that a map can take its
// size from. Pictures and controls of the upper layers derive from these.
class TGraphic : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

class TControl : public TPersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }
  virtual int Width() const = 0;
  virtual int Height() const = 0;
};

}  // namespace velkor
