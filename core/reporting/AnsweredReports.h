#ifndef CORE_REPORTING_ANSWEREDREPORTS_H
#define CORE_REPORTING_ANSWEREDREPORTS_H

#include <boost/thread/mutex.hpp>

#include <set>
#include <string>

namespace Vantor::Reporting {

// The reports the store has answered while the saved queue on disk may still hold them: the id
// of each, one a line, in a small file beside the saved queue, written as each answer comes in.
// The saved queue drops an answered report only with its next save, which takes long with a
// long queue; a crash before it would have the next start send the report again. That start
// leaves out what this file names instead. Any thread.
class AnsweredReports {
public:
    // Reads what an earlier run noted in `path`, and notes each answer there from now on.
    void Open(const std::string& path);
    // An earlier run noted that the store answered the report `id`.
    bool AnsweredBefore(const std::string& id) const;
    // The store answered the report `id`: noted on disk before this returns.
    void Note(const std::string& id);
    // A save landed that holds the reports `held`: once it holds none of those noted, the saved
    // queue on disk names none of them, and the file is emptied.
    void SaveLanded(const std::set<std::string>& held);

private:
    mutable boost::mutex mutex;
    std::string path;
    // Read at the start, then each noted since; all of them since the file was last emptied.
    std::set<std::string> noted;
    std::set<std::string> earlier;
};

} // namespace Vantor::Reporting

#endif
