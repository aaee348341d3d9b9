#include "MainModule.h"

#include "AppPaths.h"

#include <QFile>

namespace vq {

namespace {

struct CountryRow {
    const char *country;
    const char *code;
};
// ISO 3166-1 names and alpha-2 codes as profiles store them (some names are shortened).
constexpr CountryRow kCountries[] = {
    {"AFGHANISTAN", "AF"},
    {"ALAND ISLANDS", "AX"},
    {"ALBANIA", "AL"},
    {"ALGERIA", "DZ"},
    {"AMERICAN SAMOA", "AS"},
    {"ANDORRA", "AD"},
    {"ANGOLA", "AO"},
    {"ANGUILLA", "AI"},
    {"ANTARCTICA", "AQ"},
    {"ANTIGUA AND BARBUDA", "AG"},
    {"ARGENTINA", "AR"},
    {"ARMENIA", "AM"},
    {"ARUBA", "AW"},
    {"AUSTRALIA", "AU"},
    {"AUSTRIA", "AT"},
    {"AZERBAIJAN", "AZ"},
    {"BAHAMAS", "BS"},
    {"BAHRAIN", "BH"},
    {"BANGLADESH", "BD"},
    {"BARBADOS", "BB"},
    {"BELARUS", "BY"},
    {"BELGIUM", "BE"},
    {"BELIZE", "BZ"},
    {"BENIN", "BJ"},
    {"BERMUDA", "BM"},
    {"BHUTAN", "BT"},
    {"BOLIVIA", "BO"},
    {"BOSNIA AND HERZEGOVINA", "BA"},
    {"BOTSWANA", "BW"},
    {"BOUVET ISLAND", "BV"},
    {"BRAZIL", "BR"},
    {"BRITISH INDIAN OCEAN TERRITORY", "IO"},
    {"BRUNEI DARUSSALAM", "BN"},
    {"BULGARIA", "BG"},
    {"BURKINA FASO", "BF"},
    {"BURUNDI", "BI"},
    {"CAMBODIA", "KH"},
    {"CAMEROON", "CM"},
    {"CANADA", "CA"},
    {"CAPE VERDE", "CV"},
    {"CAYMAN ISLANDS", "KY"},
    {"CENTRAL AFRICAN REPUBLIC", "CF"},
    {"CHAD", "TD"},
    {"CHILE", "CL"},
    {"CHINA", "CN"},
    {"CHRISTMAS ISLAND", "CX"},
    {"COCOS (KEELING) ISLANDS", "CC"},
    {"COLOMBIA", "CO"},
    {"COMOROS", "KM"},
    {"CONGO", "CG"},
    {"CONGO, THE DEMOCRATIC REPUBLIC OF THE", "CD"},
    {"COOK ISLANDS", "CK"},
    {"COSTA RICA", "CR"},
    {"COTE D'IVOIRE", "CI"},
    {"CROATIA", "HR"},
    {"CUBA", "CU"},
    {"CYPRUS", "CY"},
    {"CZECH REPUBLIC", "CZ"},
    {"DENMARK", "DK"},
    {"DJIBOUTI", "DJ"},
    {"DOMINICA", "DM"},
    {"DOMINICAN REPUBLIC", "DO"},
    {"ECUADOR", "EC"},
    {"EGYPT", "EG"},
    {"EL SALVADOR", "SV"},
    {"EQUATORIAL GUINEA", "GQ"},
    {"ERITREA", "ER"},
    {"ESTONIA", "EE"},
    {"ETHIOPIA", "ET"},
    {"FALKLAND ISLANDS (MALVINAS)", "FK"},
    {"FAROE ISLANDS", "FO"},
    {"FIJI", "FJ"},
    {"FINLAND", "FI"},
    {"FRANCE", "FR"},
    {"FRENCH GUIANA", "GF"},
    {"FRENCH POLYNESIA", "PF"},
    {"FRENCH SOUTHERN TERRITORIES", "TF"},
    {"GABON", "GA"},
    {"GAMBIA", "GM"},
    {"GEORGIA", "GE"},
    {"GERMANY", "DE"},
    {"GHANA", "GH"},
    {"GIBRALTAR", "GI"},
    {"GREECE", "GR"},
    {"GREENLAND", "GL"},
    {"GRENADA", "GD"},
    {"GUADELOUPE", "GP"},
    {"GUAM", "GU"},
    {"GUATEMALA", "GT"},
    {"GUINEA", "GN"},
    {"GUINEA-BISSAU", "GW"},
    {"GUYANA", "GY"},
    {"HAITI", "HT"},
    {"HEARD ISLAND AND MCDONALD ISLANDS", "HM"},
    {"HONDURAS", "HN"},
    {"HONG KONG", "HK"},
    {"HUNGARY", "HU"},
    {"ICELAND", "IS"},
    {"INDIA", "IN"},
    {"INDONESIA", "ID"},
    {"IRAN", "IR"},
    {"IRAQ", "IQ"},
    {"IRELAND", "IE"},
    {"ISRAEL", "IL"},
    {"ITALY", "IT"},
    {"JAMAICA", "JM"},
    {"JAPAN", "JP"},
    {"JORDAN", "JO"},
    {"KAZAKHSTAN", "KZ"},
    {"KENYA", "KE"},
    {"KIRIBATI", "KI"},
    {"KOREA, DEMOCRATIC PEOPLE'S REPUBLIC OF", "KP"},
    {"KOREA, REPUBLIC OF", "KR"},
    {"KUWAIT", "KW"},
    {"KYRGYZSTAN", "KG"},
    {"LAO PEOPLE'S DEMOCRATIC REPUBLIC", "LA"},
    {"LATVIA", "LV"},
    {"LEBANON", "LB"},
    {"LESOTHO", "LS"},
    {"LIBERIA", "LR"},
    {"LIBYAN ARAB JAMAHIRIYA", "LY"},
    {"LIECHTENSTEIN", "LI"},
    {"LITHUANIA", "LT"},
    {"LUXEMBOURG", "LU"},
    {"MACA", "MO"},
    {"MACEDONIA", "MK"},
    {"MADAGASCAR", "MG"},
    {"MALAWI", "MW"},
    {"MALAYSIA", "MY"},
    {"MALDIVES", "MV"},
    {"MALI", "ML"},
    {"MALTA", "MT"},
    {"MARSHALL ISLANDS", "MH"},
    {"MARTINIQUE", "MQ"},
    {"MAURITANIA", "MR"},
    {"MAURITIUS", "MU"},
    {"MAYOTTE", "YT"},
    {"MEXICO", "MX"},
    {"MICRONESIA", "FM"},
    {"MOLDOVA", "MD"},
    {"MONACO", "MC"},
    {"MONGOLIA", "MN"},
    {"MONTSERRAT", "MS"},
    {"MOROCCO", "MA"},
    {"MOZAMBIQUE", "MZ"},
    {"MYANMAR", "MM"},
    {"NAMIBIA", "NA"},
    {"NAURU", "NR"},
    {"NEPAL", "NP"},
    {"NETHERLANDS", "NL"},
    {"NETHERLANDS ANTILLES", "AN"},
    {"NEW CALEDONIA", "NC"},
    {"NEW ZEALAND", "NZ"},
    {"NICARAGUA", "NI"},
    {"NIGER", "NE"},
    {"NIGERIA", "NG"},
    {"NIUE", "NU"},
    {"NORFOLK ISLAND", "NF"},
    {"NORTHERN MARIANA ISLANDS", "MP"},
    {"NORWAY", "NO"},
    {"OMAN", "OM"},
    {"PAKISTAN", "PK"},
    {"PALAU", "PW"},
    {"PALESTINIAN TERRITORY", "PS"},
    {"PANAMA", "PA"},
    {"PAPUA NEW GUINEA", "PG"},
    {"PARAGUAY", "PY"},
    {"PERU", "PE"},
    {"PHILIPPINES", "PH"},
    {"PITCAIRN", "PN"},
    {"POLAND", "PL"},
    {"PORTUGAL", "PT"},
    {"PUERTO RICO", "PR"},
    {"QATAR", "QA"},
    {"REUNION", "RE"},
    {"ROMANIA", "RO"},
    {"RUSSIAN FEDERATION", "RU"},
    {"RWANDA", "RW"},
    {"SAINT HELENA", "SH"},
    {"SAINT KITTS AND NEVIS", "KN"},
    {"SAINT LUCIA", "LC"},
    {"SAINT PIERRE AND MIQUELON", "PM"},
    {"SAINT VINCENT AND THE GRENADINES", "VC"},
    {"SAMOA", "WS"},
    {"SAN MARINO", "SM"},
    {"SAO TOME AND PRINCIPE", "ST"},
    {"SAUDI ARABIA", "SA"},
    {"SENEGAL", "SN"},
    {"SERBIA AND MONTENEGR", "CS"},
    {"SEYCHELLES", "SC"},
    {"SIERRA LEONE", "SL"},
    {"SINGAPORE", "SG"},
    {"SLOVAKIA", "SK"},
    {"SLOVENIA", "SI"},
    {"SOLOMON ISLANDS", "SB"},
    {"SOMALIA", "SO"},
    {"SOUTH AFRICA", "ZA"},
    {"SOUTH GEORGIA AND THE SOUTH SANDWICH ISLANDS", "GS"},
    {"SPAIN", "ES"},
    {"SRI LANKA", "LK"},
    {"SUDAN", "SD"},
    {"SURINAME", "SR"},
    {"SVALBARD AND JAN MAYEN", "SJ"},
    {"SWAZILAND", "SZ"},
    {"SWEDEN", "SE"},
    {"SWITZERLAND", "CH"},
    {"SYRIAN ARAB REPUBLIC", "SY"},
    {"TAIWAN", "TW"},
    {"TAJIKISTAN", "TJ"},
    {"TANZANIA", "TZ"},
    {"THAILAND", "TH"},
    {"TIMOR-LEST", "TL"},
    {"TOGO", "TG"},
    {"TOKELAU", "TK"},
    {"TONGA", "TO"},
    {"TRINIDAD AND TOBAGO", "TT"},
    {"TUNISIA", "TN"},
    {"TURKEY", "TR"},
    {"TURKMENISTAN", "TM"},
    {"TURKS AND CAICOS ISLANDS", "TC"},
    {"TUVALU", "TV"},
    {"UGANDA", "UG"},
    {"UKRAINE", "UA"},
    {"UNITED ARAB EMIRATES", "AE"},
    {"UNITED KINGDOM", "GB"},
    {"UNITED STATES", "US"},
    {"UNITED STATES MINOR OUTLYING ISLANDS", "UM"},
    {"URUGUAY", "UY"},
    {"UZBEKISTAN", "UZ"},
    {"VANUATU", "VU"},
    {"VATICAN CITY STATE", "VA"},
    {"VENEZUELA", "VE"},
    {"VIETNAM", "VN"},
    {"VIRGIN ISLANDS, BRITISH", "VG"},
    {"VIRGIN ISLANDS, U.S.", "VI"},
    {"WALLIS AND FUTUNA", "WF"},
    {"WESTERN SAHARA", "EH"},
    {"YEMEN", "YE"},
    {"ZAMBIA", "ZM"},
    {"ZIMBABWE", "ZW"},
};

struct StateRow {
    const char *code;
    const char *state;
};
// "--" stands for any place outside these states.
constexpr StateRow kStates[] = {
    {"--", "Other"},
    {"AK", "Alaska"},
    {"AL", "Alabama"},
    {"AR", "Arkansas"},
    {"AZ", "Arizona"},
    {"CA", "California"},
    {"CO", "Colorado"},
    {"CT", "Connecticut"},
    {"DE", "Delaware"},
    {"FL", "Florida"},
    {"GA", "Georgia"},
    {"HI", "Hawaii"},
    {"IA", "Iowa"},
    {"ID", "Idaho"},
    {"IL", "Illinois"},
    {"IN", "Indiana"},
    {"KS", "Kansas"},
    {"KY", "Kentucky"},
    {"LA", "Louisiana"},
    {"MA", "Massachusetts"},
    {"MD", "Maryland"},
    {"ME", "Maine"},
    {"MI", "Michigan"},
    {"MN", "Minnesota"},
    {"MO", "Missouri"},
    {"MS", "Mississippi"},
    {"MT", "Montana"},
    {"NC", "North_Carolina"},
    {"ND", "North_Dakota"},
    {"NE", "Nebraska"},
    {"NH", "New_Hampshire"},
    {"NJ", "New_Jersey"},
    {"NM", "New_Mexico"},
    {"NV", "Nevada"},
    {"NY", "New_York"},
    {"OH", "Ohio"},
    {"OK", "Oklahoma"},
    {"OR", "Oregon"},
    {"PA", "Pennsylvania"},
    {"RI", "Rhode_Island"},
    {"SC", "South_Carolina"},
    {"SD", "South_Dakota"},
    {"TN", "Tennessee"},
    {"TX", "Texas"},
    {"UT", "Utah"},
    {"VA", "Virginia"},
    {"VT", "Vermont"},
    {"WA", "Washington"},
    {"WI", "Wisconsin"},
    {"WV", "West_Virginia"},
    {"WY", "Wyoming"},
};

} // namespace

TdmMain::TdmMain(const QString &programFolder, QObject *parent)
    : QObject(parent)
    , cdsSites(new TClientDataSet(QStringLiteral("cdsSites"), this))
    , cdsConnectionTypes(new TClientDataSet(QStringLiteral("cdsConnectionTypes"), this))
    , cdsIsps(new TClientDataSet(QStringLiteral("cdsIsps"), this))
    , cdsVeloqua(new TClientDataSet(QStringLiteral("cdsVeloqua"), this))
    , cdsMyVeloqua(new TClientDataSet(QStringLiteral("cdsMyVeloqua"), this))
    , cdsCurrent(new TClientDataSet(QStringLiteral("cdsCurrent"), this))
    , cdsCountries(new TClientDataSet(QStringLiteral("cdsCountries"), this))
    , cdsStates(new TClientDataSet(QStringLiteral("cdsStates"), this))
    , m_programFolder(programFolder.isEmpty() ? platform::ProgramFolder() : programFolder)
{
    setObjectName(QStringLiteral("dmMain"));
    cdsSites->SetProvider(&xtpSites);
    cdsConnectionTypes->SetProvider(&xtpConnectionTypes);
    cdsIsps->SetProvider(&xtpIsps);
    cdsVeloqua->SetProvider(&xtpVeloqua);
    cdsMyVeloqua->SetProvider(&xtpMyVeloqua);
    cdsCurrent->SetProvider(&xtpCurrent);
    fillCountries();
    fillStates();
}

TdmMain::~TdmMain() = default;

void TdmMain::fillCountries()
{
    cdsCountries->SetFieldDefs({{QStringLiteral("Country"), TFieldType::String, 50},
                                {QStringLiteral("Code"), TFieldType::String, 2}});
    cdsCountries->CreateDataSet();
    for (const CountryRow &r : kCountries)
        cdsCountries->AppendRecord({QString::fromLatin1(r.country), QString::fromLatin1(r.code)});
    cdsCountries->SetIndexFieldNames(QStringLiteral("Country"));
}

void TdmMain::fillStates()
{
    cdsStates->SetFieldDefs({{QStringLiteral("Code"), TFieldType::String, 2},
                             {QStringLiteral("State"), TFieldType::String, 20}});
    cdsStates->CreateDataSet();
    for (const StateRow &r : kStates)
        cdsStates->AppendRecord({QString::fromLatin1(r.code), QString::fromLatin1(r.state)});
}

TdmMain::Binding TdmMain::binding(TPendingTable table, bool periodByConnectionType, bool currentByIsp)
{
    switch (table) {
    case TPendingTable::Sites:
        return {cdsSites, &xtpSites, QStringLiteral("Sites.xtr"), QStringLiteral("sites.xml")};
    case TPendingTable::ConnectionTypes:
        return {cdsConnectionTypes, &xtpConnectionTypes, QStringLiteral("ConnectionTypes.xtr"),
                QStringLiteral("connectiontypes.xml")};
    case TPendingTable::Isps:
        return {cdsIsps, &xtpIsps, QStringLiteral("ISPs.xtr"), QStringLiteral("isps.xml")};
    case TPendingTable::Veloqua:
        return {cdsVeloqua, &xtpVeloqua,
                periodByConnectionType ? QStringLiteral("GetVeloquabyConnDate.xtr") : QStringLiteral("GetVeloquabyISPDate.xtr"),
                QStringLiteral("Veloqua.xml")};
    case TPendingTable::MyVeloqua:
        return {cdsMyVeloqua, &xtpMyVeloqua, QStringLiteral("GetMyVeloquabyDate.xtr"), QStringLiteral("MyVeloqua.xml")};
    case TPendingTable::Current:
        return {cdsCurrent, &xtpCurrent,
                currentByIsp ? QStringLiteral("GetAvgVeloquabyISP.xtr") : QStringLiteral("GetAvgVeloquabyState.xtr"),
                QStringLiteral("Current.xml")};
    case TPendingTable::None:
        break;
    }
    return {};
}

void TdmMain::TransformResponse(const Binding &b, const QByteArray &response, const QString &dataFolder)
{
    b.provider->TransformationFile = m_programFolder + QLatin1Char('/') + b.transformationFile;
    b.dataset->Close();
    b.dataset->SetIndexFieldNames(QString());
    b.provider->SetSourceDocument(response);
    b.dataset->Open();
    b.provider->SetSourceDocument(QByteArray());
    b.dataset->SaveToFile(dataFolder + QLatin1Char('/') + b.cacheFile);
}

QString TdmMain::TableTitle(TPendingTable table)
{
    switch (table) {
    case TPendingTable::Sites:
        return QStringLiteral("site list");
    case TPendingTable::ConnectionTypes:
        return QStringLiteral("connection types");
    case TPendingTable::Isps:
        return QStringLiteral("Internet service providers");
    default:
        break;
    }
    return QStringLiteral("comparison");
}

void TdmMain::LoadCache(TPendingTable table, const QString &dataFolder)
{
    const Binding b = binding(table);
    const QString path = dataFolder + QLatin1Char('/') + b.cacheFile;
    // The fields a cache must have are those of the table's transformation.
    const QList<TFieldDef> expected =
        TransformationRules::Load(m_programFolder + QLatin1Char('/') + b.transformationFile).fieldDefs();
    b.dataset->Close();
    b.dataset->SetIndexFieldNames(QString());
    if (!QFile::exists(path)) {
        b.dataset->SetFieldDefs(expected);
        b.dataset->CreateDataSet();
        throw ECacheFileError(QStringLiteral("There is no saved copy of the %1 (%2).").arg(TableTitle(table), path), false);
    }
    try {
        b.dataset->LoadFromFile(path, &expected);
    } catch (const EDataPacketError &e) {
        QFile::remove(path);
        b.dataset->SetFieldDefs(expected);
        b.dataset->CreateDataSet();
        throw ECacheFileError(QStringLiteral("The saved copy of the %1 was damaged and has been discarded (%2).")
                                  .arg(TableTitle(table), e.message()),
                              true);
    }
}

} // namespace vq
