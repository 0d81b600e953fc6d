#include "ui/requests.h"

#include "util/no_destructor.h"

namespace wnd {

WorkerRequests& gf_workerRequests() {
    static NoDestructor<WorkerRequests> r;
    return *r;
}

}  // namespace wnd
