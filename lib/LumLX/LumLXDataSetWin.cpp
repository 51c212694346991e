// The data set's exceptions go to the application's exception handling.
#include "lib/LumLX/LumLXDataSet.h"

#include "toolkit/ui/LumApplication.h"

void TLumDataSet::InternalHandleException() {
    HandleCallbackException(this);
}
