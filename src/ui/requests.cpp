#include "ui/requests.h"

#include "util/no_destructor.h"

namespace wnd {

WorkerRequests& gf_workerRequests() {
    static NoDestructor<WorkerRequests> r;
    return *r;
}

CallsignListBox& gf_callsignListBox() {
    static NoDestructor<CallsignListBox> b;
    return *b;
}

}  // namespace wnd
