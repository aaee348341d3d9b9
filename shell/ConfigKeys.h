#pragma once

#include <QString>

// Every section and key of the configuration file, with its type and the value that counts when
// it is absent. Code reads and writes the file through these names only.
namespace vq::cfg {

struct StringKey {
    const char *section;
    const char *name;
    const char *def;
};
struct IntKey {
    const char *section;
    const char *name;
    int def;
};
struct BoolKey {
    const char *section;
    const char *name;
    bool def;
};
// Date-time keys default to day 0 (30 December 1899, 00:00).
struct DateTimeKey {
    const char *section;
    const char *name;
};

namespace section {
inline constexpr char Config[] = "Config";
inline constexpr char Position[] = "Position";
inline constexpr char LocalSites[] = "LocalSites"; // one key per personal site, in test order
inline constexpr char UserInfo[] = "UserInfo";
inline constexpr char Profiles[] = "Profiles";     // profile name = profile number
inline constexpr char ProfilePrefix[] = "Prf";     // one section "Prf<name>" per profile
} // namespace section

// Section "Config"
inline constexpr BoolKey UseWinInet{section::Config, "UseWinInet", false};
inline constexpr IntKey ParsingMethod{section::Config, "ParsingMethod", 2};
inline constexpr BoolKey ProxyLoaded{section::Config, "ProxyLoaded", false};
inline constexpr StringKey ProxyServer{section::Config, "ProxyServer", ""};
inline constexpr StringKey ProxyPort{section::Config, "ProxyPort", ""};
inline constexpr BoolKey ProxyEnabled{section::Config, "ProxyEnabled", false};
inline constexpr StringKey ServerURL{section::Config, "ServerURL", ""};
inline constexpr DateTimeKey LastUpdateSites{section::Config, "LastUpdateSites"};
inline constexpr DateTimeKey LastUpdateConnectionTypes{section::Config, "LastUpdateConnectionTypes"};
inline constexpr DateTimeKey LastUpdateISPs{section::Config, "LastUpdateISPs"};
inline constexpr BoolKey CloseMinimize{section::Config, "CloseMinimize", false};
inline constexpr IntKey Multiplier{section::Config, "Multiplier", 0};
inline constexpr BoolKey ThreeDCharts{section::Config, "3DCharts", true};
inline constexpr BoolKey UseSkin{section::Config, "UseSkin", true};
inline constexpr StringKey PingServer{section::Config, "PingServer", ""};
inline constexpr IntKey PingInterval{section::Config, "PingInterval", 1};
inline constexpr IntKey RefreshInterval{section::Config, "RefreshInterval", 0};

// Section "Position". Left and Top default to the centre of the screen, which the reader
// computes and passes in.
inline constexpr IntKey Width{section::Position, "Width", 690};
inline constexpr IntKey Height{section::Position, "Height", 460};
inline constexpr IntKey Left{section::Position, "Left", 0};
inline constexpr IntKey Top{section::Position, "Top", 0};
inline constexpr BoolKey Maximized{section::Position, "Maximized", false};

// Section "UserInfo"
inline constexpr IntKey UserId{section::UserInfo, "UserId", -1};
inline constexpr StringKey LastProfile{section::UserInfo, "LastProfile", ""};

// Section "Profiles": the value of a profile name's key is its number, -1 when absent.
inline constexpr int NoProfileId = -1;

// Keys of a profile's own section, in the order they are written.
namespace prf {
inline constexpr char MacAddress[] = "MacAddress";
inline constexpr char IPAddress[] = "IPAddress";
inline constexpr char ISPId[] = "ISPId"; // also read as "IspId": the same key
inline constexpr char ZipCode[] = "ZipCode";
inline constexpr char State[] = "State";
inline constexpr char Country[] = "Country";
inline constexpr char TimeZone[] = "TimeZone";
inline constexpr char Satisfaction[] = "Satisfaction";
inline constexpr char Speed[] = "Speed";
inline constexpr char ConnectionId[] = "ConnectionId";
} // namespace prf

inline QString ProfileSection(const QString &profileName)
{
    return QLatin1String(section::ProfilePrefix) + profileName;
}

} // namespace vq::cfg
