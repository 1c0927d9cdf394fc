// Which page requests of the status thread move the page stack: the pages the
// page table marks as following requests (all but the phone sign-in page, the
// diagnosis page and the appended pages).
#pragma once

#include "kit/Pages.h"

inline bool pageRequestMovesStack(int request)
{
    return Pages::followsRequests(request);
}
