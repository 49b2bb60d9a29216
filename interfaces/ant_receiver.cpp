#include "interfaces/ant_receiver.h"

#include <atomic>

namespace {
std::atomic<bool> gWirelessInterface{false};
std::atomic<bool> gHeartStrap{false};

std::atomic<bool>& Flag(TAntUser user)
{
    return user == TAntUser::WirelessInterface ? gWirelessInterface : gHeartStrap;
}
}  // namespace

void SetAntReceiverHeld(TAntUser user, bool held) { Flag(user) = held; }

bool AntReceiverHeldBy(TAntUser user) { return Flag(user); }
