#include "core/threading/WorkMessage.h"

namespace Vantor::Threading {

const WorkMessage WorkMessage::Run;
const WorkMessage WorkMessage::Pause;
const WorkMessage WorkMessage::Cancel;

} // namespace Vantor::Threading
