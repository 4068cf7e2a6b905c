#include "core/threading/WorkMessage.h"

namespace Vantor {
namespace Threading {

const WorkMessage WorkMessage::Run;
const WorkMessage WorkMessage::Pause;
const WorkMessage WorkMessage::Cancel;

} // namespace Threading
} // namespace Vantor
