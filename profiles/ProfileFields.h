#pragma once

#include "ProfileTypes.h"

class QComboBox;
class QLineEdit;

namespace vq {

class IPrompts;
class IProfileLookups;

// The fields that "User info" and "Profile information" share: where the computer is used and
// how it is connected. Both forms fill, check and read them the same way.
struct ProfileFieldWidgets {
    QComboBox *isp;
    QComboBox *connectionType;
    QComboBox *state;
    QComboBox *country;
    QComboBox *satisfaction;
    QComboBox *speedUnit;
    QLineEdit *zipCode;
    QLineEdit *contractedSpeed;
    QLineEdit *macAddress;
    QLineEdit *ipAddress;
};

// Fills the lists from the reference tables; nothing is selected but the first speed unit.
void FillProfileFields(const ProfileFieldWidgets &w, const IProfileLookups &lookups);

// The OK check: an ISP, a connection type and a country must be chosen. Says what is missing
// and moves the focus there; true when nothing is.
bool CheckProfileFields(const ProfileFieldWidgets &w, IPrompts &prompts);

// The values of the fields (all but the profile name).
ProfileInput ReadProfileFields(const ProfileFieldWidgets &w);

} // namespace vq
