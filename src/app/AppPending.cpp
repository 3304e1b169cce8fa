// Handlers declared in App.h whose bodies are still being written. Each moves
// out of this file into its own as it is built; the file goes once empty.

#include "app/App.h"

namespace quor::app {

ResultCode App::UpdateDigitalSensor() { return rc::kNotForThisDevice; }

}  // namespace quor::app
