// Private to vexaxml: the class Settings, which names the folder of the
// installed stylesheets (APP_PATH of the product key).
#pragma once

#include <string>

#include "idl/vexaxml.h"

namespace vexa::model {

class CSettings : public com::ComObjectRoot,
                  public com::DispatchImpl<CSettings, ISettings>,
                  public com::SupportErrorInfoImpl<ISettings> {
 public:
  using Interfaces = com::InterfaceMap<ISettings, com::Via<IDispatch, ISettings>, ISupportErrorInfo>;
  static const com::TypeLibraryId& TypeLibrary() { return kVEXAXMLLib; }
  static std::span<const com::DispatchEntry<CSettings>> DispatchTable();

  // APP_PATH of the product key; empty (and S_OK) when it is missing.
  HRESULT get_settingsDirectory(BSTR* pVal) override;
  HRESULT put_settingsDirectory(BSTR) override { return E_NOTIMPL; }

  // The six stylesheet paths, outside the COM interface: APP_PATH followed
  // directly by the stylesheet's path below it (the installed value ends
  // with a separator), as a path of this system; without APP_PATH the
  // relative path alone.
  static std::string SlideShow1InputPath() { return PathOf("xslt\\SlideShow1Input.xsl"); }
  static std::string SlideShow1OutputPath() { return PathOf("xslt\\SlideShow1Output.xsl"); }
  static std::string MarwickInputPath() { return PathOf("xslt\\MarwickInput.xsl"); }
  static std::string MarwickOutputPath() { return PathOf("xslt\\MarwickOutput.xsl"); }
  static std::string DiscManifestInputPath() { return PathOf("xslt\\DiscManifestInput.xsl"); }
  static std::string DiscManifestOutputPath() { return PathOf("xslt\\DiscManifestOutput.xsl"); }

  // APP_PATH as UTF-8 ("" when missing or longer than the 1024 bytes it is
  // read into).
  static std::string Directory();

 private:
  static std::string PathOf(const char* relative);
};

}  // namespace vexa::model
