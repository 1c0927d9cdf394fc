// Which page requests of the status thread move the page stack: every page but
// the phone sign-in page (8), the diagnosis page (19) and the appended pages.
#pragma once

inline bool pageRequestMovesStack(int request)
{
    return (request >= 0 && request <= 7) || (request >= 9 && request <= 18) || request == 20;
}
