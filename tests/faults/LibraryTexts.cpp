#include "LibraryTexts.h"

namespace faults {

namespace {

struct CodeText {
  int code;
  const char* text;
};

constexpr CodeText kTexts[] = {
    {0, "V pořádku"},
    {1, "Modul neodpovídá (vypršel čas pro odpověď)"},
    {2, "Chyba CRC v odpovědi modulu"},
    {3, "Odpověď přišla od modulu s jinou adresou"},
    {4, "Odpověď modulu má chybný formát"},
    {5, "Odpověď modulu není úplná"},
    {6, "Odpověď modulu nepatří k odeslanému příkazu"},
    {7, "Odpověď modulu je příliš dlouhá"},
    {10, "Port byl odpojen"},
    {13, "Port neexistuje"},
    {22, "Na zadané IP adrese a UDP portu nenaslouchá žádný konvertor"},
    {28, "Připojen jiný modul (je nutná nová inicializace připojení)"},
    {45, "Modul je zaneprázdněn"},
};

}  // namespace

QString LibraryText(int code) {
  for (const CodeText& entry : kTexts) {
    if (entry.code == code) return QString::fromUtf8(entry.text);
  }
  return QString();
}

QString InitFailedText(int code) { return QString::fromUtf8("Chyba inicializace připojení - ") + LibraryText(code); }

QString ConnectedText() {
  return QString::fromUtf8("Připojení úspěšně inicializováno. Připojen modul   DQ7184/9 v.1.03");
}

}  // namespace faults
