#pragma once
// The computer's one ANT receiver serves either the VT3 Wireless Interface
// or an ANT+ heart-rate strap, never both. Each tells here when it takes and
// releases the receiver and asks whether the other one holds it.

enum class TAntUser { WirelessInterface, HeartStrap };

void SetAntReceiverHeld(TAntUser user, bool held);
bool AntReceiverHeldBy(TAntUser user);
