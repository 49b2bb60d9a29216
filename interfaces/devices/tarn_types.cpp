// Names of the shared device types.
#include "interfaces/devices/tarn_types.h"

#include "core/records.h"

std::string TarnStateName(int state)
{
    static const char* const names[kTarnStateCount] = {
        "Closing",         "Closed",           "Opening",         "Opened",         "Searching",
        "SearchFound",     "SearchNotFound",   "SearchCanceled",  "Verifying",      "Verified",
        "Accepting",       "Accepted",         "StartingWorkout", "WorkoutStarted", "CancelingWorkout",
        "WorkoutCanceled", "FinishingWorkout", "WorkoutFinished", "StartingStroke", "StrokeFinished",
        "StartingRecover", "RecoverFinished",  "Pausing",         "Paused",         "Continueing",
        "Continued"};
    return state >= 0 && state < kTarnStateCount ? names[state] : "";
}

std::string TarnProtocolName(int protocol)
{
    static const char* const names[kTarnProtocolCount] = {"Unknown", "Mira/DOS", "VTW",     "VT3W",  "Brax",
                                                          "OTM",     "OTDebug",  "V17Test", "VT3WI", "FTMS"};
    return protocol >= 0 && protocol < kTarnProtocolCount ? names[protocol] : "";
}

std::string InterfaceTypeName(int type) { return ListText(InterfaceTypeNames(), type); }
