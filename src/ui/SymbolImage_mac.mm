// The symbols drawn by the system: SF Symbols by their own names.
#include "SymbolImage.h"

#import <AppKit/AppKit.h>

namespace tallowmere::ui {

void prepareSymbols()
{
}

QImage symbolImage(const QString &name, int pixels)
{
    @autoreleasepool {
        NSImage *symbol = [NSImage imageWithSystemSymbolName:name.toNSString() accessibilityDescription:nil];
        if (!symbol)
            return {};
        NSImageSymbolConfiguration *size = [NSImageSymbolConfiguration configurationWithPointSize:pixels
                                                                                           weight:NSFontWeightRegular];
        symbol = [symbol imageWithSymbolConfiguration:size];
        NSBitmapImageRep *bitmap = [NSBitmapImageRep imageRepWithData:[symbol TIFFRepresentation]];
        NSData *png = [bitmap representationUsingType:NSBitmapImageFileTypePNG properties:@{}];
        if (!png)
            return {};
        return QImage::fromData(QByteArray(static_cast<const char *>(png.bytes), qsizetype(png.length)), "PNG");
    }
}

} // namespace tallowmere::ui
