#include "graphics/Raster_Bindings.h"

#include <stdexcept>

namespace velkor::Raster_Bindings {

namespace {

using TRegistryList = std::vector<std::unique_ptr<TFunctionRegistry>>;

// Created by the first CreateFunctionRegistry, freed by FreeRegistryList.
constinit std::unique_ptr<TRegistryList> gRegistryList;
Raster_System::TUnitInitCounter gUnitCounter;

}  // namespace

int FeaturePriority(PFunctionInfo Info) {
  return Raster_System::CPUFeatureMask().Covers(Info->CPUFeatures) ? 0 : NoPriority;
}

TFunctionPriority MaskPriority(TCPUFeatures mask) {
  return [mask](PFunctionInfo Info) { return mask.Covers(Info->CPUFeatures) ? 0 : NoPriority; };
}

TFunctionPriority OnlyVariant(PFunctionInfo info) {
  return [info](PFunctionInfo Info) { return Info == info ? 0 : NoPriority; };
}

TFunctionRegistry::TFunctionRegistry() = default;

TFunctionRegistry::~TFunctionRegistry() { Clear(); }

void TFunctionRegistry::Add(int FunctionID, TRoutine Proc, TCPUFeatures CPUFeatures, int Flags) {
  FItems.push_back(std::make_unique<TFunctionInfo>(TFunctionInfo{FunctionID, Proc, CPUFeatures, Flags}));
}

void TFunctionRegistry::AddBinding(int FunctionID, const void* variable,
                                   std::function<void(TRoutine)> store) {
  FBindings.push_back(TBinding{FunctionID, variable, std::move(store)});
}

TRoutine TFunctionRegistry::FindFunction(int FunctionID, const TFunctionPriority& PriorityCallback) const {
  const TFunctionPriority& priority = PriorityCallback ? PriorityCallback : FeaturePriority;
  int best = NoPriority;
  TRoutine result = nullptr;
  // From the last entry to the first, accepting only a strictly better one:
  // among equally good variants the one registered last wins.
  for (auto it = FItems.rbegin(); it != FItems.rend(); ++it) {
    TFunctionInfo* info = it->get();
    if (info->FunctionID != FunctionID) continue;
    const int p = priority(info);
    if (p < best) {
      best = p;
      result = info->Proc;
    }
  }
  return result;
}

void TFunctionRegistry::Rebind(int FunctionID, const TFunctionPriority& PriorityCallback) {
  for (TBinding& b : FBindings)
    if (b.FunctionID == FunctionID) b.Store(FindFunction(FunctionID, PriorityCallback));
}

void TFunctionRegistry::RebindAll(const TFunctionPriority& PriorityCallback) {
  for (TBinding& b : FBindings) b.Store(FindFunction(b.FunctionID, PriorityCallback));
}

void TFunctionRegistry::Clear() {
  FItems.clear();
  FBindings.clear();
}

PFunctionInfo TFunctionRegistry::GetItems(int Index) const {
  if (Index < 0 || Index >= Count()) throw std::out_of_range("List index out of bounds (" + std::to_string(Index) + ")");
  return FItems[Index].get();
}

void TFunctionRegistry::SetItems(int Index, const TFunctionInfo& Info) { *GetItems(Index) = Info; }

std::vector<PFunctionInfo> TFunctionRegistry::Variants(int FunctionID) const {
  std::vector<PFunctionInfo> out;
  for (const auto& item : FItems)
    if (item->FunctionID == FunctionID) out.push_back(item.get());
  return out;
}

bool TFunctionRegistry::HasBinding(int FunctionID, const void* variable) const {
  for (const TBinding& b : FBindings)
    if (b.FunctionID == FunctionID && b.Variable == variable) return true;
  return false;
}

TFunctionRegistry* CreateFunctionRegistry(const std::string& Name) {
  if (!gRegistryList) gRegistryList = std::make_unique<TRegistryList>();
  auto registry = std::make_unique<TFunctionRegistry>();
  registry->SetName(Name);
  gRegistryList->push_back(std::move(registry));
  return gRegistryList->back().get();
}

void FreeRegistryList() {
  if (!gRegistryList) return;
  while (!gRegistryList->empty()) gRegistryList->pop_back();  // last created first
  gRegistryList.reset();
}

std::vector<TFunctionRegistry*> RegistryList() {
  std::vector<TFunctionRegistry*> out;
  if (gRegistryList)
    for (const auto& r : *gRegistryList) out.push_back(r.get());
  return out;
}

void Startup() { gUnitCounter.Enter(); }

void Shutdown() {
  if (gUnitCounter.Leave()) FreeRegistryList();
}

}  // namespace velkor::Raster_Bindings
