// Routine registries: how the raster library picks, once, the variant of
// each hot routine that suits the processor.
//
// Theory of operation
// -------------------
// A module with processor-specific routines (blending, word fills, logical
// line filters, ...) declares each routine as a plain function-pointer
// variable, e.g. `TBlendReg BlendColorInto`. At start-up the module
//   1. creates its registry with CreateFunctionRegistry("<module> bindings");
//   2. calls RegisterBinding(id, &variable) once per routine pointer;
//   3. calls Add(id, variant, requiredFeatures) once per implementation, in a
//      fixed order: portable first, then variants that need no extension but
//      are faster, then MMX, extended MMX, SSE and SSE2 variants;
//   4. calls RebindAll(), which stores into every variable the variant that
//      FindFunction chooses for its id.
// FindFunction walks the entries from the LAST registered to the first and
// keeps an entry only when its priority is strictly lower than the best so
// far. With the default priority (FeaturePriority: 0 when the processor has
// every required feature, else NoPriority) every usable variant scores 0, so
// the usable variant registered last wins; an id with no usable entry binds
// nullptr. The registration order is therefore the preference order.
//
// Hot loops call through the variables: one indirect call, no feature test
// per call. After start-up the variables are only read; rebinding while
// another thread draws would be a race, and the program never does it.
//
// Tests force a variant the same way: Variants(id) lists the entries of an
// id, Rebind(id, OnlyVariant(entry)) binds exactly that one (routines that
// call other bound routines then go through it too), and RebindAll() restores
// the processor's choice. MaskPriority(mask) answers which variant a
// processor with the feature set `mask` would bind.
//
// Entries and bindings are type-erased (TRoutine); the typed Add and
// RegisterBinding templates convert a routine pointer to TRoutine and back to
// its own type, which C++ defines as a round trip.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/Raster_System.h"

namespace velkor::Raster_Bindings {

using Raster_System::TCPUFeatures;

// A type-erased routine address.
using TRoutine = void (*)();

// One registered implementation of a routine.
struct TFunctionInfo {
  int FunctionID = 0;        // which routine of the registry
  TRoutine Proc = nullptr;   // the implementation
  TCPUFeatures CPUFeatures;  // the extensions it needs
  int Flags = 0;             // stored, never interpreted
};
using PFunctionInfo = TFunctionInfo*;

// Lower is better; NoPriority means the variant is not usable.
using TFunctionPriority = std::function<int(PFunctionInfo Info)>;
inline constexpr int NoPriority = 0x7FFFFFFF;

// 0 when the processor has every extension Info needs, else NoPriority.
int FeaturePriority(PFunctionInfo Info);
// What a processor with exactly the extensions `mask` would bind.
TFunctionPriority MaskPriority(TCPUFeatures mask);
// Accepts only `info` (forces one variant, in tests).
TFunctionPriority OnlyVariant(PFunctionInfo info);

class TFunctionRegistry {
 public:
  TFunctionRegistry();
  ~TFunctionRegistry();
  TFunctionRegistry(const TFunctionRegistry&) = delete;
  TFunctionRegistry& operator=(const TFunctionRegistry&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }

  void Add(int FunctionID, TRoutine Proc, TCPUFeatures CPUFeatures = {}, int Flags = 0);
  template <typename Fn>
  void Add(int FunctionID, Fn* Proc, TCPUFeatures CPUFeatures = {}, int Flags = 0) {
    Add(FunctionID, reinterpret_cast<TRoutine>(Proc), CPUFeatures, Flags);
  }

  // BindVariable receives the chosen implementation of FunctionID at every
  // Rebind/RebindAll. The registry does not own the variable.
  template <typename Fn>
  void RegisterBinding(int FunctionID, Fn** BindVariable) {
    AddBinding(FunctionID, BindVariable,
               [BindVariable](TRoutine p) { *BindVariable = reinterpret_cast<Fn*>(p); });
  }

  // The chosen implementation of FunctionID, nullptr when none is usable.
  // An empty callback means FeaturePriority.
  TRoutine FindFunction(int FunctionID, const TFunctionPriority& PriorityCallback = {}) const;
  void Rebind(int FunctionID, const TFunctionPriority& PriorityCallback = {});
  void RebindAll(const TFunctionPriority& PriorityCallback = {});
  void Clear();

  int Count() const { return static_cast<int>(FItems.size()); }
  // Index must lie in [0, Count); out of range throws std::out_of_range.
  PFunctionInfo GetItems(int Index) const;
  void SetItems(int Index, const TFunctionInfo& Info);

  // The entries of one id in registration order.
  std::vector<PFunctionInfo> Variants(int FunctionID) const;
  // Whether some binding of this registry stores into `variable`.
  bool HasBinding(int FunctionID, const void* variable) const;

 private:
  struct TBinding {
    int FunctionID;
    const void* Variable;                 // for identification only
    std::function<void(TRoutine)> Store;  // writes with the variable's own type
  };
  void AddBinding(int FunctionID, const void* variable, std::function<void(TRoutine)> store);

  std::vector<std::unique_ptr<TFunctionInfo>> FItems;
  std::vector<TBinding> FBindings;
  std::string FName;
};

// Creates a registry named Name and appends it to the process-wide
// RegistryList, which owns it.
TFunctionRegistry* CreateFunctionRegistry(const std::string& Name);
// Frees every registry, last created first, then the list itself.
void FreeRegistryList();
// The registries created so far, in creation order (empty when none).
std::vector<TFunctionRegistry*> RegistryList();

// Start-up keeps a counter only; shut-down calls FreeRegistryList.
void Startup();
void Shutdown();

}  // namespace velkor::Raster_Bindings
