#include "FileErrors.h"

#include <cerrno>

std::string ErrorCauseText(int error) {
  switch (error) {
    case ENOENT: return "složka neexistuje";
    case EACCES:
    case EPERM: return "přístup odepřen";
    case EROFS: return "disk je jen pro čtení";
    case ENOSPC: return "na disku není místo";
    case EDQUOT: return "překročena kvóta disku";
    case EFBIG:
    case EOVERFLOW: return "soubor je příliš velký";
    case EISDIR: return "je to složka";
    case ENOTDIR: return "část cesty není složka";
    case ENOTEMPTY: return "složka není prázdná";
    case ENAMETOOLONG: return "příliš dlouhý název";
    case ELOOP: return "smyčka symbolických odkazů";
    case EIO: return "chyba vstupu/výstupu";
    case EEXIST: return "soubor již existuje";
    case EINVAL: return "nepřípustný název nebo druh souboru";
    case EMFILE:
    case ENFILE: return "příliš mnoho otevřených souborů";
    case ETXTBSY: return "soubor je používán běžícím programem";
    case EBUSY: return "soubor nebo zařízení je obsazeno";
    case EXDEV: return "soubor leží na jiném disku";
    case EMLINK: return "příliš mnoho odkazů";
    case ENXIO:
    case ENODEV: return "zařízení neexistuje";
    case ENOMEDIUM: return "v jednotce není médium";
    case ENOMEM: return "nedostatek paměti";
    case EINTR: return "operace byla přerušena";
    case EAGAIN: return "prostředek je dočasně nedostupný";
    case ESTALE: return "soubor na síťovém disku již neplatí";
    case ETIMEDOUT: return "vypršel čas";
    case ENOLCK: return "nelze zamknout soubor";
    case EOPNOTSUPP: return "souborový systém tuto operaci nepodporuje";
    case ENOSYS: return "systém tuto operaci nepodporuje";
    case EBADF: return "neplatný popisovač souboru";
    case EFAULT: return "neplatná adresa v paměti";
    default: return "systémová chyba " + std::to_string(error);
  }
}

std::string SaveFailureText(const dqcore::SaveResult& result) {
  using dqcore::SaveStep;
  const auto step = [&result](const char* what) { return std::string(what) + ": " + ErrorCauseText(result.error); };
  switch (result.step) {
    case SaveStep::kNone: return std::string();
    case SaveStep::kResolveLink: return step("nelze určit cíl symbolického odkazu");
    case SaveStep::kTargetIsFolder: return "pod tímto názvem je složka";
    case SaveStep::kLinkTargetFolder:
      return "cíl symbolického odkazu " + result.target + " nelze vytvořit: " + ErrorCauseText(result.error);
    case SaveStep::kWriteProtected: return step("soubor je chráněn proti zápisu");
    case SaveStep::kCreateTemporary: return step("nelze vytvořit dočasný soubor");
    case SaveStep::kWrite: return step("nelze zapsat");
    case SaveStep::kSync: return step("nelze dokončit zápis na disk");
    case SaveStep::kClose: return step("nelze zavřít soubor");
    case SaveStep::kRename: return step("nelze nahradit soubor");
  }
  return step("nelze zapsat");
}
