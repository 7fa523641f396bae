#include "core/ErrorTexts.h"

#include <array>

#include "core/Cp1250.h"
#include "core/ErrorCodes.h"
#include "core/DriverAbi.h"

namespace dqerr {

namespace {

const char* Utf8TextOf(int32_t code) {
  switch (code) {
    case kOk: return "V pořádku";
    case kTimeout: return "Modul neodpovídá (vypršel čas pro odpověď)";
    case kCrc: return "Chyba CRC v odpovědi modulu";
    case kForeignAddress: return "Odpověď přišla od modulu s jinou adresou";
    case kMalformed: return "Odpověď modulu má chybný formát";
    case kTruncated: return "Odpověď modulu není úplná";
    case kEchoMismatch: return "Odpověď modulu nepatří k odeslanému příkazu";
    case kReplyTooLong: return "Odpověď modulu je příliš dlouhá";
    case kPortOpen: return "Port nelze otevřít";
    case kPortBusy: return "Port je obsazen jiným programem";
    case kPortVanished: return "Port byl odpojen";
    case kWrite: return "Chyba zápisu na port";
    case kRead: return "Chyba čtení z portu";
    case kPortMissing: return "Port neexistuje";
    case kPortAccess: return "K portu nejsou přístupová práva";
    case kPortSetup: return "Port nelze nastavit (není to sériová linka)";
    case kInvalidHandle: return "Neplatný identifikátor připojení";
    case kInvalidParameter: return "Neplatný parametr";
    case kInvalidIp: return "Neplatná IP adresa";
    case kBaudRate: return "Nepodporovaná komunikační rychlost";
    case kTooManyHandles: return "Příliš mnoho otevřených připojení";
    case kSocket: return "Chyba síťového soketu";
    case kConnRefused: return "Na zadané IP adrese a UDP portu nenaslouchá žádný konvertor";
    case kNetUnreachable: return "Síť s konvertorem DQ-2847 není dosažitelná";
    case kNoIsaCard: return "Karta PCI-847 nebyla nalezena";
    case kNoPciCard: return "Karta PCI-2847 nebyla nalezena";
    case kNoUsbConverter: return "Konvertor USB-2847 nebyl nalezen";
    case kPortMapWrite: return "Mapu portů nelze zapsat";
    case kForeignModule: return "Připojen jiný modul (je nutná nová inicializace připojení)";
    case kModuleUnknownCommand: return "Modul nezná příkaz";
    case kModuleBadSubcode: return "Modul nezná podkód příkazu";
    case kModuleBadRegister: return "Neplatné číslo registru modulu";
    case kModuleBadValue: return "Neplatná hodnota pro modul";
    case kModuleBusy: return "Modul je zaneprázdněn";
    case kModuleFailed: return "Modul příkaz neprovedl";
    case kModuleStatusOther: return "Modul hlásí neznámý chybový stav";
    default: return nullptr;
  }
}

std::string BuildText(int32_t code) {
  if (const char* text = Utf8TextOf(code)) return dqcore::Cp1250FromUtf8(text);
  if (code > kModuleFailed && code < kModuleStatusOther) {
    return dqcore::Cp1250FromUtf8("Modul hlásí chybu " + std::to_string(code - kModuleStatusBase));
  }
  return dqcore::Cp1250FromUtf8("Neznámá chyba (kód " + std::to_string(code) + ")");
}

using TextTable = std::array<std::string, kLastCode + 1>;

const TextTable& Table() {
  static const TextTable table = [] {
    TextTable built;
    for (int32_t code = 0; code <= kLastCode; ++code) built[static_cast<size_t>(code)] = BuildText(code);
    return built;
  }();
  return table;
}

}  // namespace

const std::string& Text(int32_t code) {
  static const std::string unknown = dqcore::Cp1250FromUtf8("Neznámý chybový kód");
  if (code < 0 || code > kLastCode) return unknown;
  return Table()[static_cast<size_t>(code)];
}

void FillTextBuffer(int32_t code, uint32_t* buffer) {
  if (buffer == nullptr) return;
  const std::string& text = Text(code);
  for (size_t i = 0; i < static_cast<size_t>(dqabi::kErrorTextWords); ++i) {
    buffer[i] = i + 1 < static_cast<size_t>(dqabi::kErrorTextWords) && i < text.size() ? static_cast<uint8_t>(text[i]) : 0u;
  }
}

}  // namespace dqerr
