#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

namespace vq {

// The result of the profile chooser when the user refuses to choose.
inline constexpr char kCancelProfile[] = "#cancel#";
// The profile made on the first run.
inline constexpr char kDefaultProfile[] = "Default";
// The country preselected in the user dialog and the new-profile editor.
inline constexpr char kDefaultCountryCode[] = "US";

// What the dialogs show about this computer (read-only fields filled by the caller).
struct ComputerFacts {
    QString processorName;
    QString processorSpeed; // MHz, decimal
    QString osName;
    QString osVersion;
    QString macAddress;
    QString machineName;
    QString ipAddress;      // the external address
    int timeZoneBias = 0;
};

// The ten values of a profile's own section of the configuration file.
struct ProfileValues {
    QString macAddress;
    QString ipAddress;
    int ispId = -1;        // -1: none stored
    QString zipCode;
    QString state;         // a state code, or empty
    QString country;       // the country's name as the country table lists it
    int timeZone = 0;
    QString satisfaction;  // one of the five satisfaction texts, or empty
    QString speed;         // the contracted-speed text, "512 Kbps"
    int connectionId = -1; // -1: none stored
};

// What the profile editor (and the profile part of the user dialog) hands back on OK.
struct ProfileInput {
    QString name; // trimmed; empty for the user dialog
    QString macAddress;
    QString ipAddress;
    int ispId = -1;
    QString zipCode;
    QString state;
    QString country;
    QString satisfaction;
    QString contractedSpeed; // already joined: number, blank, unit
    int connectionTypeId = -1;
};

// What the user dialog hands back on OK.
struct UserInput {
    QString processorName;
    QString processorSpeed;
    QString os;
    QString osVersion;
    QString manufacturer;
    QString model;
    ProfileInput profile;
};

// How the profile chooser was closed.
struct SelectProfileResult {
    enum Choice { Select, CreateNew, Cancel } choice = Cancel;
    QString name; // with Select: the chosen profile
};

// One entry of a drop-down list of the dialogs: the key the program stores or sends (an integer
// id or a code) and the text the list shows.
struct LookupRow {
    QVariant key;
    QString text;
};

} // namespace vq
