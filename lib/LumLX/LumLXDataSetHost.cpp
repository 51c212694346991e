// Host build: there is no application to show an exception, so it goes on to the caller.
#include "lib/LumLX/LumLXDataSet.h"

#include <exception>

void TLumDataSet::InternalHandleException() {
    if (std::exception_ptr current = std::current_exception()) {
        std::rethrow_exception(current);
    }
}
