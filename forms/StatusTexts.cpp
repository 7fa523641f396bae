#include "StatusTexts.h"

#include "FormCommon.h"
#include "Txxx847.h"
#include "core/ErrorCodes.h"
#include "core/ErrorTexts.h"

const QStringList& DriverTexts() {
  static const QStringList texts = [] {
    QStringList all;
    // Code -1 stands for every code outside the libraries' table.
    for (int32_t code = -1; code <= dqerr::kLastCode; ++code) all << FromCp1250(dqerr::Text(code));
    for (int type = 0; type < kInterfaceTypeCount; ++type) {
      for (int32_t base : {kDriverLoadFailed, kDriverBadLibrary})
        all << DriverText(static_cast<TInterfaceType>(type), base + type);
    }
    // Any other code of the layer's range.
    all << DriverText(itComPort, kDriverBadLibrary + kInterfaceTypeCount);
    all.removeDuplicates();
    return all;
  }();
  return texts;
}

QStringList Prefixed(const QString& prefix, const QStringList& texts) {
  QStringList result;
  result.reserve(texts.size());
  for (const QString& text : texts) result << prefix + text;
  return result;
}
