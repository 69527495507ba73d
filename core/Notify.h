// The one notification type of the whole program. The data model, the
// raster library and the controls all raise it, and the application binds
// handlers of every kind in one unit, so they must agree on a single sender
// type: every object that raises a notification derives from TObject.
#pragma once

#include <functional>

namespace velkor {

class TObject {
 public:
  virtual ~TObject() = default;
};

// A callback bound to an object, taking the sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

}  // namespace velkor
