// The built-in table of book file codes, slots 1..371 as written (slot 215
// has no book).
#include "catalogue/catalogue_table.h"

namespace catalogue {

const char* const kBuiltInCodes[WebFiles] = {
    "ARQUR",  "YUSUF",  "PIKTL",  "QRN04",  "QRN05",
    "QRN06",  "QRN07",  "NsTfs",  "BYDWI",  "KHAZN",  // 1..10
    "QURTB",  "TABAR",  "TMARA",  "BgTfs",  "ThTfs",
    "QRN16",  "QRN17",  "QRN18",  "ABBAS",  "JALLN",  // 11..20
    "IBNKT",  "ALUSI",  "DURMN",  "TRAZI",  "YACMT",
    "MWD_E",  "QRN27",  "QRN28",  "QRN29",  "SytIt",  // 21..30
    "DZHDR",  "SytTn",  "QRN33",  "QRN34",  "QRN35",
    "QRN36",  "QRN37",  "QRN38",  "QRN39",  "QRN40",  // 31..40
    "QRN41",  "QRN42",  "QRN43",  "QRN44",  "QRN45",
    "QRN46",  "QRN47",  "QRN48",  "QRN49",  "QRN50",  // 41..50
    "QRN51",  "QRN52",  "QRN53",  "QRN54",  "QRN55",
    "JAMIS",  "ZYAD",   "KANZU",  "FAIDM",  "SBUKR",  // 51..60
    "SMSLM",  "STRMZ",  "ABDAU",  "IBNMJ",  "SNSAI",
    "MUSTD",  "ZBNMJ",  "MJMTB",  "MnzTT",  "Hdt15",  // 61..70
    "MSNDA",  "MUWAT",  "MABDR",  "MSHAF",  "MABUH",
    "NSBRY",  "MAJMZ",  "SKHZM",  "SIHBN",  "IASMs",  // 71..80
    "HDT26",  "ASQLF",  "QSTLN",  "HDT29",  "AINI",
    "KRMNI",  "HDT32",  "MSNAW",  "MSIYD",  "RYDIL",  // 81..90
    "AZKIL",  "TAWAZ",  "AWNMB",  "NSSND",  "THSIQ",
    "HDT41",  "HDT42",  "HDT43",  "HDT44",  "NZMTN",  // 91..100
    "KSHFK",  "IRAQI",  "SBK_E",  "SMS_E",  "Hdt50",
    "MWT_E",  "TRM_E",  "ABD_E",  "ENW40",  "EQDSI",  // 101..110
    "HDT56",  "LAALI",  "TAZHK",  "TANZH",  "ATHRM",
    "MAWD5",  "MAWD6",  "MQASD",  "FAMS2",  "FAMS3",  // 111..120
    "FAMS4",  "FAMS5",  "FAMS6",  "MJAMT",  "MJHIK",
    "PRVR3",  "PROV3",  "PROV4",  "PROV5",  "SIRIN",  // 121..130
    "SHAHN",  "NBLSI",  "NHMS4",  "NHMS5",  "NHMS6",
    "DwnSh",  "ADDN2",  "ADDN3",  "ADDN4",  "ADDN5",  // 131..140
    "ADDN6",  "MBSUT",  "AHIDA",  "DRMBH",  "IBNAB",
    "MARAQ",  "LUBAB",  "FHLBI",  "EHDYA",  "ThtHs",  // 141..150
    "INBhr",  "Ikhty",  "FHF12",  "KFQAY",  "ISALK",
    "UBAID",  "FML04",  "FML05",  "FML06",  "FML07",  // 151..160
    "FML08",  "FML09",  "FML10",  "FML11",  "FML12",
    "MAJMU",  "FTRAF",  "IQNAA",  "UMDTS",  "HBAJR",  // 161..170
    "FAITA",  "MGHMH",  "RHBYA",  "EUMDS",  "EAITA",
    "HAWIS",  "ShfUm",  "MGHIQ",  "SHRKB",  "ITFTK",  // 171..180
    "RWDMR",  "IDDMQ",  "ISLAH",  "FZRZR",  "FHB08",
    "EFHB09", "EFHB10", "EFHB11", "EFHB12", "NYLAW",  // 181..190
    "SBSLM",  "M4JAZ",  "BIDMJ",  "ZadMd",  "KshfG",
    "FSN_E",  "FMS08",  "FMS09",  "FMS10",  "FMS11",  // 191..200
    "FMS12",  "AQBAJ",  "AQSAW",  "AQTMD",  "AQGZL",
    "AQNAS",  "AQTAH",  "AQFAR",  "AQKSH",  "IBANA",  // 201..210
    "FISAL",  "MQLAT",  "MILAL",  "AQAD9",  "",
    "BQBuc",  "AQWST",  "AQKhl",  "JWBSH",  "IZHAQ",  // 211..220
    "HDHYR",  "LSSDQ",  "AWASM",  "IAIts",  "AqG10",
    "AqG11",  "AqG12",  "AqG13",  "AqG14",  "AqG15",  // 221..230
    "AqG16",  "AqG17",  "AqG18",  "AqG19",  "AqG20",
    "AqG21",  "AMNTU",  "BSTAR",  "IHYAA",  "RSQSH",  // 231..240
    "MKTBT",  "MQSDA",  "QTLQL",  "HALRF",  "SHHKM",
    "RSHHT",  "MDARJ",  "TBQTS",  "SMTNB",  "SMBst",  // 241..250
    "UHUDM",  "HDIQW",  "MAMst",  "BAHJA",  "FTHJY",
    "GHNJY",  "TAARF",  "IBRDB",  "FTMky",  "ISTbq",  // 251..260
    "ZHTzk",  "ASM03",  "ASM04",  "ASM05",  "ASM06",
    "ASM07",  "ASM08",  "ASM09",  "ASM10",  "SHZHB",  // 261..270
    "IKBID",  "TbTrk",  "IATrD",  "LXT05",  "LXT06",
    "LXT07",  "LXT08",  "LXT09",  "IBNHS",  "SHSHF",  // 271..280
    "ISABA",  "USDGH",  "SIYAR",  "LXW06",  "IHTah",
    "IHTaq",  "LXW09",  "LXW10",  "MQDAK",  "FlgTh",  // 281..290
    "ATSHF",  "LGFQH",  "KSHFZ",  "ABJDU",  "LXL07",
    "RSMST",  "SytMz",  "MRMHM",  "MRABB",  "MROMR",  // 291..300
    "MRUTH",  "MRALI",  "IKANB",  "LXK07",  "LXK08",
    "LXK09",  "LXK10",  "LXK11",  "LXK12",  "LXK13",  // 301..310
    "LXK14",  "LXK15",  "LXK16",  "LXK17",  "LXK18",
    "LXK19",  "FABAD",  "MKHTS",  "LSNAR",  "NIHAY",  // 311..320
    "GHARQ",  "MUFAQ",  "DIC_E",  "AREND",  "MBLDN",
    "TASMA",  "LXD11",  "LXD12",  "LXD13",  "MANAR",  // 321..330
    "JsAhk",  "SrUsl",  "USL4",   "USL5",   "USL6",
    "MWFQT",  "UMMRQ",  "USL9",   "USL10",  "USL11",  // 331..340
    "USL12",  "RSALA",  "LUMAS",  "WRQAT",  "MSTSF",
    "USL17",  "USL18",  "UHMZK",  "USL20",  "USL21",  // 341..350
    "USL22",  "USL23",  "USL24",  "USL25",  "USL26",
    "USL27",  "USL28",  "USL29",  "ASHBA",  "IBNSL",  // 351..360
    "NKHBA",  "KFYBG",  "SKHFT",  "SyTdr",  "MST6",
    "MST7",   "MST8",   "MST9",   "MST10",  "MST11",  // 361..370
    "MST12",                                          // 371..371
};

}  // namespace catalogue
