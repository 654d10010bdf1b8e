// quillora_typelib.cc - the control's type library, QuilloraActXLib 2.0, compiled into the module as resource TYPELIB 1.
#include "control/module/control_ids.h"
#include "platform/com/typelib_image.h"
#include "platform/modules/modules.h"

namespace {

using com::typelib::FuncDecl;
using com::typelib::LibraryDecl;
using com::typelib::ParamDecl;
using com::typelib::TypeDecl;

constexpr ParamDecl kTextParams[] = {{"text", VT_BSTR}};
constexpr ParamDecl kFilteredParams[] = {
    {"text", VT_BSTR}, {"issuer", VT_BSTR}, {"sn", VT_BSTR}, {"keyUsage", VT_BSTR}};

constexpr FuncDecl kMethods[] = {
    {"signText", 1, INVOKE_FUNC, VT_BSTR, kTextParams},
    {"signHTML", 2, INVOKE_FUNC, VT_BSTR, kTextParams},
    {"signTextWithFilter", 3, INVOKE_FUNC, VT_BSTR, kFilteredParams},
    {"signHTMLWithFilter", 4, INVOKE_FUNC, VT_BSTR, kFilteredParams},
};

// The dispatch interface is the library's only type: no coclass and no event interface.
constexpr TypeDecl kTypes[] = {
    {"_DQuilloraActX", DIID__DQuilloraActX, TKIND_DISPATCH, TYPEFLAG_FHIDDEN | TYPEFLAG_FDISPATCHABLE, kMethods},
};

constexpr LibraryDecl kLibrary = {
    "QuilloraActXLib", LIBID_QuilloraActXLib, kQuilloraVerMajor, kQuilloraVerMinor, kQuilloraTypeLibLcid, 0, kTypes};

constexpr auto kImage = com::typelib::make_image<com::typelib::image_size(kLibrary)>(kLibrary);

const ResourceEntry kTypeLibResource[] = {
    {"TYPELIB", 1, kImage.data(), static_cast<DWORD>(kImage.size())},
};

}  // namespace

PLATFORM_MODULE_RESOURCES(kTypeLibResource);
