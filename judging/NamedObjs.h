// Named item sets: every collection of the contest model (the exams of a
// contest, the tests of an exam, the contestants, a contestant's exam
// results, an exam result's test results, the loaded checkers) is a set of
// items identified by name.
//
// A set keeps its items in name order under the one name comparison of the
// system (CompareText: ASCII letters folded, nothing else, no locale) and
// owns them: an item leaves the set only by being freed. The ordered,
// owning treap underneath is TObjOrderedSet<std::string, T>.
//
// Items come into a set as std::unique_ptr from CreateObj, so an item that
// a set already stores can never be included a second time.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/NameCompare.h"
#include "core/Notify.h"
#include "core/SortedLists.h"

namespace velkor {

// The root of every model object that can own named items; an item's owner
// is found again with dynamic_cast, so an item whose owner is of another
// kind (or missing) sees none.
class TModelObject : public TObject {};

// The interface of every named item. It carries no ownership: holding an
// INamedObj pointer never keeps an item alive, and items are freed only by
// their owning set or by the code that created them.
class INamedObj {
 public:
  virtual const std::string& Name() const = 0;
  virtual void SetName(const std::string& aName) = 0;
  virtual void SetOwner(TModelObject* aOwner) = 0;

 protected:
  ~INamedObj() = default;
};

// True when Name can stand as one component of a path inside a folder: not
// empty, not "." or "..", and free of "/", "\" and control characters.
// Names read from files (contestants, input and output files) must pass it
// before they become part of a path.
bool IsSafePathComponent(std::string_view Name);

// Left and Name joined with exactly one "/" (added only when Left does not
// end with one; so an empty Left gives "/" and Name).
std::string JoinPath(const std::string& Left, const std::string& Name);

// Value with a "/" ensured at its end when it names an existing folder,
// else "": the folder a tasks or contestants set is read from.
std::string ExistingFolderDir(const std::string& Value);

// The names of the sub-folders of Folder, ascending by CompareText: the
// items a tasks or contestants folder holds. A Folder that does not exist
// gives none; one that cannot be read raises EFileError.
std::vector<std::string> SubFolderNames(const std::string& Folder);

// One thing that went wrong while a set or a contest was loaded, told to
// the jury instead of failing the whole load: the Vietnamese line they see,
// and whether the contest in memory now lacks something its files hold (an
// item left out, settings or results that could not be read). A contest
// that lacks something must not silently replace the file it came from.
struct TLoadProblem {
  TLoadProblem(std::string aText, bool aLost = false, std::string aExam = {}, std::string aDetail = {})
      : Text(std::move(aText)), Lost(aLost), Exam(std::move(aExam)), Detail(std::move(aDetail)) {}

  std::string Text;
  bool Lost = false;
  // For an exam whose own settings file could not be read: its name and the
  // reader's detail, so that a later source of settings (the contest's exam
  // list) can change what the line says was used instead.
  std::string Exam;
  std::string Detail;
};
using TLoadProblems = std::vector<TLoadProblem>;

// True when Name is valid UTF-8: only such names can be items of a set
// (see LoadableSubFolders).
bool IsValidUtf8Name(std::string_view Name);

// Name as text that can be shown: valid UTF-8 stays as it is, every byte
// outside it is written "\xHH".
std::string ShowableName(std::string_view Name);

// The sub-folders of Folder that can be items of a set, in SubFolderNames'
// order, each problem appended to Problems. Kind names the items in the
// messages ("bài thi", "thí sinh", ...).
// - A name that is not valid UTF-8 is refused: such a name cannot be matched
//   with the names in the settings, the results and the checker's file
//   names, so judging it would go wrong without a word.
// - Of names that differ only in ASCII letter case (one item to the set),
//   one folder is used: the one Weight rates highest (for an exam, the one
//   holding its settings), on a tie the first in byte order, so the choice
//   never depends on the order the file system lists them.
std::vector<std::string> LoadableSubFolders(const std::string& Folder, const std::string& Kind,
                                            TLoadProblems& Problems,
                                            const std::function<int(const std::string& Path)>& Weight);
// The Weight for plain items: a folder that holds anything beats an empty one.
int NonEmptyFolderWeight(const std::string& Path);

// T: a class implementing INamedObj with a parameterless constructor.
template <class T>
class TNamedObjSet : public TObjOrderedSet<std::string, T>, public TModelObject {
  using Base = TObjOrderedSet<std::string, T>;
  using TreapNode = typename TTreap<T*>::TNode;

 public:
  TNamedObjSet() : FDummy(CreateObj("", false)) {}

  // The placeholder ObjX hands out: never stored, counted or enumerated.
  T* Dummy() const { return FDummy.get(); }

  int Compare(const std::string& Left, const std::string& Right) const override {
    return CompareText(Left, Right);
  }

  // A new item, not stored: its owner is this set when own is true, else
  // none; SetOwner runs before SetName (a checker loads its plug-in when
  // it is named, and may want to know its set by then).
  std::unique_ptr<T> CreateObj(const std::string& Name, bool own) {
    auto item = std::make_unique<T>();
    item->SetOwner(own ? this : nullptr);
    item->SetName(Name);
    return item;
  }

  // The stored item named Name, or null.
  T* Obj(const std::string& Name) const {
    const auto* x = this->Search(Name);
    return x != nullptr ? x->data() : nullptr;
  }

  // The item at position index in name order, or null outside 0..Count-1.
  T* ObjI(std::ptrdiff_t index) const {
    const auto* x = this->GetNode(index);
    return x != nullptr ? x->data() : nullptr;
  }

  // Find or create: the stored item named Name, or a new owned item of that
  // name, stored. Never null. When creating the item fails, nothing is
  // stored.
  T* ObjF(const std::string& Name) {
    if (T* found = Obj(Name)) return found;
    return Include(CreateObj(Name, true));
  }

  // Find or stand in: the stored item named Name, or else the placeholder
  // Dummy renamed to Name, holding the values T's constructor gives. Never
  // null. The next ObjX may rename the placeholder again, so callers read
  // it at once and keep no pointer to it.
  T* ObjX(const std::string& Name) const {
    if (T* found = Obj(Name)) return found;
    FDummy->SetName(Name);
    return FDummy.get();
  }

  // The position of the item named Name in name order, or -1.
  std::ptrdiff_t IndexOf(const std::string& Name) const { return this->IdxSearch(Name); }

  // Stores Obj under its name. When an item of an equal name is stored,
  // that node keeps its place, its key takes Obj's letter case and the old
  // item is freed. Obj's owner is left as it is. Returns Obj.
  T* Include(std::unique_ptr<T> Obj) {
    T* item = Obj.get();
    this->InsertReplace(item->Name(), item);
    Obj.release();  // the node owns it now
    return item;
  }

  // Frees every item whose name is not in namelist, which must be sorted
  // ascending by Compare. One merge pass over the items and the list.
  void DoFilter(std::span<const std::string> namelist) {
    std::size_t i = 0;
    TreapNode* x = Base::NodeLMost(this->FRoot);
    while (x != nullptr) {
      TreapNode* current = x;
      x = Base::NodeSucc(x);  // before current may be deleted
      int c = -1;
      while (i < namelist.size()) {
        c = Compare(namelist[i], Base::KeyOf(current));
        if (c >= 0) break;
        ++i;
      }
      if (i >= namelist.size() || c != 0) this->NodeDelete(current);
    }
  }

 private:
  std::unique_ptr<T> FDummy;
};

}  // namespace velkor
