#include "tessorapng/bitmapfont.h"

#include <algorithm>

#ifdef TESSORA_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace bitmapfont
{

// Qt draws an installed family but does not say which files hold it, nor their bitmap sizes;
// fontconfig, which Qt itself asks on Linux, does. Windows does not draw bitmap families that Qt
// lists, so there every family is drawn by Qt.
QList<QByteArray> installedFiles(const QString &family)
{
    QList<QByteArray> files;
#ifdef TESSORA_FONTCONFIG
    FcPattern *pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()));
    FcObjectSet *objects = FcObjectSetBuild(FC_FILE, nullptr);
    if (FcFontSet *set = FcFontList(nullptr, pattern, objects)) {
        for (int i = 0; i < set->nfont; ++i) {
            FcChar8 *file = nullptr;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) == FcResultMatch &&
                !files.contains(reinterpret_cast<const char *>(file)))
                files += reinterpret_cast<const char *>(file);
        }
        FcFontSetDestroy(set);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
#else
    Q_UNUSED(family);
#endif
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace bitmapfont
