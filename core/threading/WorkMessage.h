#ifndef CORE_THREADING_WORKMESSAGE_H
#define CORE_THREADING_WORKMESSAGE_H

namespace Vantor::Threading {

// What a work item is asked to do. There are exactly three messages, told apart by address:
//   if (&message == &WorkMessage::Pause) ...
class WorkMessage {
public:
    static const WorkMessage Run;
    static const WorkMessage Pause;
    static const WorkMessage Cancel;

    WorkMessage(const WorkMessage&) = delete;
    WorkMessage& operator=(const WorkMessage&) = delete;

private:
    WorkMessage() {}
};

} // namespace Vantor::Threading

#endif
