#include "platform/uti/UniformTypeTable.h"

namespace {

// clang-format off
const UniformTypeDeclaration kDeclarations[] = {
    // Roots and containers.
    {"public.item", "", "", "", "Item"},
    {"public.content", "", "", "", "Content"},
    {"public.data", "public.item", "", "application/octet-stream", "Data"},
    {"public.composite-content", "public.content", "", "", "Document"},
    {"public.directory", "public.item", "", "", "Folder"},
    {"public.folder", "public.directory", "", "", "Folder"},
    {"com.apple.package", "public.directory", "", "", "Package"},
    {"com.apple.bundle", "public.directory", "bundle", "", "Bundle"},
    {"public.archive", "public.data", "", "", "Archive"},

    // Bundles and document packages: folders that count as files.
    {"com.apple.application", "public.item", "", "", "Application"},
    {"com.apple.application-bundle", "com.apple.application com.apple.bundle com.apple.package", "app", "", "Application"},
    {"com.apple.framework", "com.apple.bundle", "framework", "", "Framework"},
    {"com.apple.plugin", "com.apple.bundle com.apple.package", "plugin", "", "Plug-in"},
    {"com.apple.kernel-extension", "com.apple.bundle com.apple.package", "kext", "", "Kernel extension"},
    {"com.apple.xpc-service", "com.apple.bundle com.apple.package", "xpc", "", "XPC service"},
    {"com.apple.application-and-system-extension", "com.apple.bundle com.apple.package", "appex", "", "App extension"},
    {"com.quorvel.pelmora.note", "com.apple.package public.composite-content", "pmnote", "", "Pelmora note"},
    {"com.apple.rtfd", "com.apple.package public.composite-content", "rtfd", "", "Rich text document with attachments"},
    {"com.apple.iwork.pages.sffpages", "com.apple.package public.composite-content", "pages", "", "Pages document"},
    {"com.apple.iwork.numbers.sffnumbers", "com.apple.package public.composite-content", "numbers", "", "Numbers spreadsheet"},
    {"com.apple.iwork.keynote.sffkey", "com.apple.package public.composite-content", "key", "", "Keynote presentation"},

    // Text.
    {"public.text", "public.data public.content", "", "", "Text"},
    {"public.plain-text", "public.text", "txt text", "text/plain", "Plain text document"},
    {"public.html", "public.text", "html htm", "text/html", "HTML document"},
    {"public.xml", "public.text", "xml", "application/xml text/xml", "XML document"},
    {"public.xhtml", "public.xml", "xhtml xht", "application/xhtml+xml", "XHTML document"},
    {"public.rtf", "public.text", "rtf", "text/rtf application/rtf", "Rich text document"},
    {"public.json", "public.text", "json", "application/json", "JSON document"},
    {"public.comma-separated-values-text", "public.plain-text", "csv", "text/csv", "CSV document"},
    {"public.css", "public.text", "css", "text/css", "CSS style sheet"},
    {"com.netscape.javascript-source", "public.text", "js", "text/javascript application/javascript application/x-javascript", "JavaScript script"},
    {"net.daringfireball.markdown", "public.plain-text", "md markdown", "text/markdown", "Markdown document"},
    {"public.vcard", "public.text", "vcf vcard", "text/vcard text/x-vcard", "vCard"},
    {"com.apple.ical.ics", "public.text", "ics", "text/calendar", "iCalendar file"},
    {"com.evernote.enex", "public.xml", "enex", "", "Evernote XML export"},

    // Documents.
    {"com.adobe.pdf", "public.data public.composite-content", "pdf", "application/pdf application/x-pdf", "PDF document"},
    {"com.microsoft.word.doc", "public.data public.composite-content", "doc", "application/msword", "Microsoft Word 97 document"},
    {"org.openxmlformats.wordprocessingml.document", "public.data public.composite-content", "docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", "Microsoft Word document"},
    {"com.microsoft.excel.xls", "public.data public.composite-content", "xls", "application/vnd.ms-excel", "Microsoft Excel 97 workbook"},
    {"org.openxmlformats.spreadsheetml.sheet", "public.data public.composite-content", "xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "Microsoft Excel workbook"},
    {"com.microsoft.powerpoint.ppt", "public.data public.composite-content", "ppt", "application/vnd.ms-powerpoint", "Microsoft PowerPoint 97 presentation"},
    {"org.openxmlformats.presentationml.presentation", "public.data public.composite-content", "pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation", "Microsoft PowerPoint presentation"},
    {"org.oasis-open.opendocument.text", "public.data public.composite-content", "odt", "application/vnd.oasis.opendocument.text", "OpenDocument text"},
    {"org.oasis-open.opendocument.spreadsheet", "public.data public.composite-content", "ods", "application/vnd.oasis.opendocument.spreadsheet", "OpenDocument spreadsheet"},
    {"org.oasis-open.opendocument.presentation", "public.data public.composite-content", "odp", "application/vnd.oasis.opendocument.presentation", "OpenDocument presentation"},
    {"com.apple.webarchive", "public.data public.composite-content", "webarchive", "application/x-webarchive", "Web archive"},
    {"com.apple.internet-location", "public.data", "", "", "Internet location"},
    {"com.apple.web-internet-location", "com.apple.internet-location", "webloc", "", "Web internet location"},
    {"com.evernote.ink", "public.data", "", "application/vnd.evernote.ink", "Evernote ink"},
    {"public.zip-archive", "public.archive", "zip", "application/zip application/x-zip-compressed", "ZIP archive"},

    // Images.
    {"public.image", "public.data public.content", "", "", "Image"},
    {"public.png", "public.image", "png", "image/png", "PNG image"},
    {"public.jpeg", "public.image", "jpeg jpg jpe", "image/jpeg image/jpg image/pjpeg", "JPEG image"},
    {"com.compuserve.gif", "public.image", "gif", "image/gif", "GIF image"},
    {"public.tiff", "public.image", "tiff tif", "image/tiff", "TIFF image"},
    {"com.microsoft.bmp", "public.image", "bmp", "image/bmp image/x-bmp image/x-ms-bmp", "Windows bitmap image"},
    {"public.heic", "public.image", "heic", "image/heic", "HEIC image"},
    {"public.heif", "public.image", "heif", "image/heif", "HEIF image"},
    {"org.webmproject.webp", "public.image", "webp", "image/webp", "WebP image"},
    {"public.svg-image", "public.image public.xml", "svg", "image/svg+xml", "SVG image"},
    {"com.microsoft.ico", "public.image", "ico", "image/x-icon image/vnd.microsoft.icon", "Windows icon image"},

    // Movies.
    {"public.audiovisual-content", "public.data public.content", "", "", "Audiovisual content"},
    {"public.movie", "public.audiovisual-content", "", "", "Movie"},
    {"public.video", "public.movie", "", "", "Video"},
    {"public.mpeg-4", "public.movie", "mp4 mpeg4", "video/mp4", "MPEG-4 movie"},
    {"com.apple.quicktime-movie", "public.movie", "mov qt", "video/quicktime", "QuickTime movie"},
    {"public.avi", "public.movie", "avi", "video/avi video/msvideo video/x-msvideo", "AVI movie"},
    {"public.mpeg", "public.movie", "mpeg mpg", "video/mpeg", "MPEG movie"},
    {"org.webmproject.webm", "public.movie", "webm", "video/webm", "WebM movie"},
    {"public.3gpp", "public.movie", "3gp 3gpp", "video/3gpp", "3GPP movie"},

    // Audio.
    {"public.audio", "public.audiovisual-content", "", "", "Audio"},
    {"public.mp3", "public.audio", "mp3", "audio/mpeg audio/mp3 audio/mpeg3 audio/x-mpeg-3", "MP3 audio"},
    {"com.microsoft.waveform-audio", "public.audio", "wav wave", "audio/wav audio/x-wav audio/wave audio/vnd.wave", "Waveform audio"},
    {"public.mpeg-4-audio", "public.audio", "", "", "MPEG-4 audio"},
    {"com.apple.m4a-audio", "public.mpeg-4-audio", "m4a", "audio/mp4 audio/x-m4a", "Apple MPEG-4 audio"},
    {"public.aac-audio", "public.audio", "aac", "audio/aac audio/x-aac", "AAC audio"},
    {"org.xiph.ogg-audio", "public.audio", "ogg oga", "audio/ogg", "Ogg audio"},
    {"org.3gpp.adaptive-multi-rate-audio", "public.audio", "amr", "audio/amr", "AMR audio"},
    {"org.webmproject.webm-audio", "public.audio", "weba", "audio/webm", "WebM audio"},
    {"org.xiph.flac", "public.audio", "flac", "audio/flac audio/x-flac", "FLAC audio"},
    {"public.aiff-audio", "public.audio", "aiff aif", "audio/aiff audio/x-aiff", "AIFF audio"},
};
// clang-format on

}  // namespace

std::span<const UniformTypeDeclaration> uniformTypeDeclarations() { return kDeclarations; }
