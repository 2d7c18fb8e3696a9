// Type information made from a dispatch table, as objects' IDispatch hands
// it out (ComObject.h). Apart from TypeInfo.h, whose implementation is made
// of such objects, so that the object machinery depends on this alone. The
// function is defined with the rest of type information (TypeInfo.cpp).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "platform/com/Types.h"

struct ITypeInfo;

namespace vexa::com {

// What names a type library: its identifier, version, locale and name.
struct TypeLibraryId {
  GUID libid;
  WORD major;
  WORD minor;
  LCID lcid;
  const char16_t* name;
};

// One member of a dispatch table as type information describes it.
struct DispatchMember {
  DISPID dispid;
  std::u16string name;
  bool get, put, putref, method;
};

// Type information of a dual interface from its dispatch table; the library
// is null for a class that names none.
VEXA_COM_API HRESULT CreateDispatchTypeInfo(REFIID iid, std::u16string_view interfaceName, const TypeLibraryId* library,
                               std::span<const DispatchMember> members, ITypeInfo** out);

}  // namespace vexa::com
