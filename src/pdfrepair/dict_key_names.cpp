// The key names of every object the PDF standard defines (PDF 1.0 to 2.0): a name that is one
// of them is a valid key of its own and never taken for a misspelling of another.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "pdfrepair/dict.h"

namespace pdfrepair {

namespace {

// In byte order.
constexpr std::string_view standard_keys[] = {
    "A", "A1", "A2", "A3", "A4", "AA", "AAPL:AA", "AAPL:Keywords", "AAPL:ST", "AC", "ADBE_Build",
    "AF", "AFRelationship", "AIS", "AN", "AO", "AP", "APIVersion", "AS", "AU", "AccurateScreens",
    "AcroForm", "Action", "Activation", "ActualText", "AddRevInfo", "AdditionalStreams", "Alt",
    "Alternate", "AlternateImages", "AlternatePresentations", "Alternates", "Angle", "Animation",
    "AnnotStates", "Annotation", "Annotations", "Annots", "AntiAlias", "App", "AppearanceFilter",
    "ArtBox", "Ascent", "Aspect", "Asset", "Assets", "Attestation", "AuthCode", "AuthEvent",
    "Author", "AvgWidth", "B", "BBox", "BC", "BE", "BG", "BG2", "BM", "BS", "BU", "Background",
    "BackgroundColor", "Base", "BaseEncoding", "BaseFont", "BaseState", "BaseVersion",
    "BaselineShift", "Binding", "BindingMaterial", "BitsPerComponent", "BitsPerCoordinate",
    "BitsPerFlag", "BitsPerSample", "Bl", "BlackIs1", "BlackPoint", "Blackls1", "BleedBox",
    "BlockAlign", "Border", "BorderColor", "BorderStyle", "BorderThickness", "Bounds",
    "BoxColorInfo", "ByteRange", "C", "C0", "C1", "C2W", "CA", "CF", "CFM", "CI", "CIDSet",
    "CIDSystemInfo", "CIDToGIDMap", "CIP4_Accounting", "CIP4_AdditionalNames", "CIP4_Address",
    "CIP4_AddressLines", "CIP4_AddressUsage", "CIP4_Administrator", "CIP4_AssemblingIntent",
    "CIP4_AssemblyItem", "CIP4_Author", "CIP4_BackCoating", "CIP4_BindIn", "CIP4_BindingIntent",
    "CIP4_BindingSide", "CIP4_BindingType", "CIP4_BlowIn", "CIP4_ChannelType", "CIP4_ChannelUsage",
    "CIP4_Child", "CIP4_City", "CIP4_CivicNumber", "CIP4_Coating", "CIP4_Coatings",
    "CIP4_ColorIntent", "CIP4_ComChannel", "CIP4_Company", "CIP4_Conformance", "CIP4_Contact",
    "CIP4_ContactTypes", "CIP4_Container", "CIP4_CopyCount", "CIP4_Country", "CIP4_CountryCode",
    "CIP4_Creator", "CIP4_DescriptiveName", "CIP4_ExternalID", "CIP4_FamilyName",
    "CIP4_FinishedDimensions", "CIP4_FirstName", "CIP4_FoldCatalog", "CIP4_FoldingIntent",
    "CIP4_FullName", "CIP4_HoleMakingIntent", "CIP4_HolePattern", "CIP4_HoleReferenceEdge",
    "CIP4_ISOPaperSubstrate", "CIP4_Intent", "CIP4_IntentSummary", "CIP4_JobID", "CIP4_JobTitle",
    "CIP4_LABColorValue", "CIP4_LayoutIntent", "CIP4_Locator", "CIP4_MediaColor",
    "CIP4_MediaColorDetails", "CIP4_MediaIntent", "CIP4_MediaQuality", "CIP4_MediaTypeDetails",
    "CIP4_Metadata", "CIP4_ModificationDate", "CIP4_NamePrefix", "CIP4_NameSuffix",
    "CIP4_OrganizationName", "CIP4_OrganizationalUnit", "CIP4_Orientation", "CIP4_Pattern",
    "CIP4_Person", "CIP4_PostBox", "CIP4_PostalCode", "CIP4_PrintPreference", "CIP4_PrintProcess",
    "CIP4_ProductType", "CIP4_Production", "CIP4_ProductionIntent", "CIP4_ProjectID",
    "CIP4_Recipient", "CIP4_Region", "CIP4_Resource", "CIP4_Root", "CIP4_SaddleStitching",
    "CIP4_Sender", "CIP4_SideStitching", "CIP4_Sides", "CIP4_SpreadType", "CIP4_StickOn",
    "CIP4_StitchNumber", "CIP4_Street", "CIP4_StreetName", "CIP4_Weight", "CL", "CMD", "CMapName",
    "CO", "CP", "CRL", "CRLs", "CS", "CT", "CV", "CYX", "Cap", "CapHeight", "Caption",
    "CardBackground", "CardBorder", "Category", "CenterWindow", "Cert", "Certs", "Changes",
    "CharProcs", "CharSet", "CheckSum", "Checked", "Child", "ClassMap", "ColSpan", "Collection",
    "Color", "ColorSpace", "ColorTransform", "ColorType", "ColorantTable", "Colorants", "Colors",
    "ColumnCount", "ColumnGap", "ColumnWidths", "Columns", "Comments", "Components", "Condition",
    "Configs", "Configuration", "Configurations", "ContactInfo", "Contents", "ContinuedFrom",
    "ContinuedList", "Coords", "Count", "CreationDate", "Creator", "CreatorInfo", "CropBox",
    "CropFixed", "CropRect", "CuePoints", "D", "D1", "D2", "DA", "DC", "DCS", "DIS", "DL", "DOS",
    "DP", "DPM", "DPart", "DPartRoot", "DPartRootNode", "DParts", "DR", "DS", "DSS", "DSm", "DSn",
    "DU", "DV", "DW", "DW2", "DamagedRowsBeforeError", "Data", "Date", "Deactivation", "Decode",
    "DecodeParms", "DefEmbeddedFile", "Default", "DefaultCMYK", "DefaultCryptFilter",
    "DefaultForPrinting", "DefaultGray", "DefaultRGB", "Desc", "DescendantFonts", "Descent", "Dest",
    "DestOutputProfile", "DestOutputProfileRef", "Dests", "DevDepGS_BG", "DevDepGS_FL",
    "DevDepGS_HT", "DevDepGS_OP", "DevDepGS_TR", "DevDepGS_UCR", "DeviceColorant", "Di",
    "Differences", "DigSig", "DigestLocation", "DigestMethod", "DigestValue", "Direction",
    "DisplayDocTitle", "Dm", "DocChecksum", "DocMDP", "Document", "Domain", "DotGain", "Dp",
    "Duplex", "Dur", "Duration", "E", "EA", "ECC", "EF", "EFF", "EL", "EP", "EPSG", "EarlyChange",
    "EmbeddedFiles", "Encode", "EncodedByteAlign", "Encoding", "Encrypt", "EncryptMetadata", "End",
    "EndIndent", "EndOfBlock", "EndOfLine", "Enforce", "Event", "ExData", "Export", "ExportState",
    "ExtGState", "Extend", "Extends", "ExtensionLevel", "ExtensionRevision", "Extensions",
    "ExternalOPIdicts", "ExternalRefXobjects", "ExternalStreams", "F", "FB", "FC", "FD",
    "FDecodeParms", "FFilter", "FL", "FOV", "FS", "FT", "FWPosition", "FWScale", "Ff", "Fields",
    "Filter", "First", "FirstChar", "FitWindow", "FixedPrint", "Flags", "FlashVars", "Fo",
    "Folders", "Font", "FontBBox", "FontDescriptor", "FontFamily", "FontFauxing", "FontFile",
    "FontFile2", "FontFile3", "FontMatrix", "FontName", "FontStretch", "FontWeight", "Form",
    "FormType", "Free", "Frequency", "Function", "FunctionType", "Functions", "G", "GCS", "GEO",
    "GPTS", "GTS_Encapsulated", "GTS_Env", "GTS_Managed", "GTS_Metadata", "GTS_PDFXVersion",
    "GTS_ProcStepsColorants", "GTS_ProcStepsGroup", "GTS_ProcStepsType", "GTS_Scope", "GTS_Suspect",
    "GTS_XID", "GTSm", "Gamma", "GlyphOrientationVertical", "GoToRemoteActions", "GrayMap", "Group",
    "H", "HAlign", "HI", "HOffset", "HT", "HTO", "HTP", "HalftoneName", "HalftoneType", "Headers",
    "Height", "Height2", "Hid", "HideAnnotationActions", "HideMenubar", "HideToolbar",
    "HideWindowUI", "I", "IC", "ICCVersion", "ID", "IDS", "IDTree", "IF", "IN", "IRT", "ISO_", "IT",
    "IV", "IX", "Icon", "Identity", "Image", "ImageMask", "ImageType", "IncludedImageDimensions",
    "IncludedImageQuality", "Index", "Info", "InitialFields", "InkList", "Inks", "InlineAlign",
    "Instance", "Instances", "Intent", "Interpolate", "IsMap", "Issuer", "ItalicAngle",
    "JBIG2Globals", "JS", "JavaScript", "JavaScriptActions", "K", "KDFSalt", "KeyUsage", "Keywords",
    "Kids", "L", "LC", "LE", "LI", "LJ", "LL", "LLE", "LLO", "LPTS", "LS", "LW", "Lang", "Language",
    "Last", "LastChar", "LastModified", "LaunchActions", "Layout", "Leading", "Legal",
    "LegalAttestation", "Length", "Length1", "Length2", "Length3", "Level1", "LineHeight",
    "Linearized", "ListMode", "ListNumbering", "LoadType", "Locale", "Location", "Lock",
    "LockDocument", "Locked", "M", "M3DREF", "MA", "MAC", "MACLocation", "MCID", "MD5", "MDP", "MH",
    "MK", "ML", "MN", "MS", "MU", "Mac", "Mail_MediaTypeParameters", "MainImage", "MarkInfo",
    "MarkStyle", "Marked", "Mask", "Matrix", "Matte", "Max", "MaxLen", "MaxWidth", "Measure",
    "MediaBox", "Metadata", "Min", "MissingWidth", "Mix", "MixingHints", "ModDate", "Mode", "Movie",
    "MovieActions", "Msg", "N", "N1", "N2", "NA", "NM", "NP", "NR", "NS", "NU", "Name", "Names",
    "Namespaces", "NavigationPane", "Navigator", "NeedAppearances", "NeedsRendering", "NewWindow",
    "Next", "NodeNameList", "NonEFontNoWarn", "NonEmbeddedFonts", "NonFullScreenPageMode",
    "NoteType", "NumCopies", "O", "OB", "OC", "OCGs", "OCProperties", "OCSP", "OCSPs", "OE", "OFF",
    "OID", "ON", "OP", "OPI", "OPM", "OS", "Obj", "Offset", "OnInstantiate", "Open", "OpenAction",
    "Operation", "Opt", "OptionalContent", "Order", "Ordering", "Outlines", "OutputCondition",
    "OutputConditionIdentifier", "OutputIntents", "OverlayText", "Overprint", "P", "PA", "PC",
    "PCM", "PCSM", "PDU", "PI", "PID", "PL", "PMD", "PO", "PS", "PV", "PZ", "Padding", "Page",
    "PageElement", "PageLabels", "PageLayout", "PageMode", "Pages", "PaintType", "Panose", "Params",
    "Parent", "ParentTree", "ParentTreeNextKey", "PassContextClick", "Path", "Pattern",
    "PatternType", "Penalty", "Perms", "Pg", "Phoneme", "PhoneticAlphabet", "PickTrayByPDFSize",
    "PieceInfo", "Placement", "PlayCount", "Popup", "Position", "Poster", "PreRelease", "Predictor",
    "Preferred", "PresSteps", "Presentation", "PreserveRB", "Prev", "Preview", "PrimaryText",
    "Print", "PrintArea", "PrintClip", "PrintPageRange", "PrintScaling", "PrintState",
    "PrintingOrder", "Private", "ProcSet", "Process", "Producer", "ProfileCS", "ProfileName",
    "PronunciationLexicon", "Prop_AuthTime", "Prop_AuthType", "Prop_Build", "Properties", "PtData",
    "PubSec", "Q", "QuadPoints", "R", "RBGroups", "RC", "RD", "REx", "RF", "RH", "RI", "RM", "RO",
    "RT", "RV", "Radius", "Range", "Rate", "Reason", "Reasons", "Recipients", "RecordLevel", "Rect",
    "Ref", "Reference", "Registry", "RegistryName", "Renditions", "Repeat", "Requirements",
    "ResFork", "Resolution", "Resources", "RichMediaContent", "RichMediaSettings", "Role",
    "RoleMap", "RoleMapNS", "Root", "Rotate", "RowSpan", "Rows", "RubyAlign", "RubyPosition", "S",
    "SA", "SC", "SD", "SE", "SI", "SM", "SMask", "SMaskInData", "SP", "SS", "ST", "SV", "SW", "SWF",
    "Scene", "Schema", "Scope", "Script", "Scripts", "SecondaryText", "SeparationColorNames",
    "SeparationInfo", "Settings", "Shading", "ShadingType", "Short", "ShowControls", "SigFlags",
    "SigObjRef", "SigQ", "Signature", "SignaturePolicyCommitmentType",
    "SignaturePolicyHashAlgorithm", "SignaturePolicyHashValue", "SignaturePolicyOID", "Size",
    "Snapshot", "Solidities", "Sort", "Sound", "SoundActions", "SpaceAfter", "SpaceBefore",
    "SpectralData", "Speed", "SpiderInfo", "Split", "SpotFunction", "St", "Start", "StartIndent",
    "StartResource", "State", "StateModel", "StdCF", "StemH", "StemV", "Stm", "StmF", "StmOwn",
    "StrF", "Strings", "StructParent", "StructParents", "StructTreeRoot", "Style", "SubFilter",
    "SubType", "Subj", "Subject", "SubjectDN", "Subtype", "Subtype2", "Summary", "Supplement",
    "Suspects", "Sy", "Symbology", "Synchronous", "T", "TA", "TB", "TBorderStyle", "TF", "TI",
    "TID", "TK", "TM", "TP", "TPadding", "TR", "TR2", "TRL", "TS", "TSm", "TSn", "TT", "TU", "TX",
    "TY", "TZ", "Tabs", "Tags", "TemplateInstantiated", "Templates", "TextAlign",
    "TextDecorationColor", "TextDecorationThickness", "TextDecorationType", "TextIndent",
    "TextPosition", "Threads", "Thumb", "TilingType", "Time", "TimeStamp", "Tint", "Title",
    "ToUnicode", "Toolbar", "Trans", "TransferFunction", "TransformMethod", "TransformParams",
    "Transparency", "Transparent", "TrapRegions", "TrapStyles", "Trapped", "TrimBox",
    "TrueTypeFonts", "TrustedMode", "Type", "U", "U3DPath", "UC", "UCR", "UCR2", "UE", "UF", "UR3",
    "URI", "URIActions", "URL", "URLS", "URLType", "URLs", "USm", "USn", "UT", "UU", "Unix",
    "Usage", "UseBlackPtComp", "UseCMap", "User", "UserProperties", "UserUnit", "V", "VA", "VAlign",
    "VE", "VOffset", "VP", "VRI", "Version", "Vertices", "VerticesPerRow", "View", "ViewArea",
    "ViewClip", "ViewState", "ViewerPreferences", "Views", "Volume", "W", "W2", "WKT", "WMode",
    "WP", "WS", "WhitePoint", "Width", "Width2", "Widths", "Win", "Window", "WritingMode", "X",
    "XFA", "XFAResources", "XHeight", "XN", "XObject", "XPTS", "XRefStm", "XStep", "XSymWidth",
    "XUID", "Xsquare", "Y", "YStep", "YSymHeight", "Ysquare", "Z", "Zoom", "ca", "checked", "max",
    "min", "nCodeWordCol", "nCodeWordRow", "op",
};
static_assert(std::size(standard_keys) == 927);
static_assert(std::is_sorted(std::begin(standard_keys), std::end(standard_keys)));

// The keys by a hash of their bytes, in open addressing: a name is found, or found missing,
// with one hash and mostly one comparison, where a binary search takes ten.
class key_table {
 public:
  key_table() {
    std::fill(std::begin(slots_), std::end(slots_), empty);
    for (std::uint16_t k = 0; k < std::size(standard_keys); ++k) {
      std::uint32_t i = hash(standard_keys[k]) & mask;
      while (slots_[i] != empty) i = (i + 1) & mask;
      slots_[i] = k;
    }
  }

  bool contains(std::string_view name) const {
    for (std::uint32_t i = hash(name) & mask; slots_[i] != empty; i = (i + 1) & mask)
      if (standard_keys[slots_[i]] == name) return true;
    return false;
  }

 private:
  static constexpr std::uint32_t mask = 2047;  // twice the keys' count, rounded up to a power of 2
  static constexpr std::uint16_t empty = 0xFFFF;

  // FNV-1a.
  static std::uint32_t hash(std::string_view name) {
    std::uint32_t h = 2166136261u;
    for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
  }

  std::uint16_t slots_[mask + 1];
};

}  // namespace

bool is_standard_key(std::string_view name) {
  static const key_table table;
  return table.contains(name);
}

}  // namespace pdfrepair
