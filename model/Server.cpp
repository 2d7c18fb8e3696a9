// The class table and exports of the in-process server vexaxml.
#include "model/Model_p.h"

using namespace vexa::com;
using namespace vexa::model;

namespace {

const ClassEntry kClasses[] = {
    {&CLSID_StillsSlideShow1, &CreateStillsSlideShow1},
    {&CLSID_StillImage, &CreateStillImage},
    {&CLSID_Audio, &CreateAudio},
    {&CLSID_TitleSlide, &CreateTitleSlide},
    {&CLSID_VCDSlideShow, &CreateVCDSlideShow},
    {&CLSID_PDFFile, &CreatePDFFile},
    // HTMLFile is registered under a second class identifier; both make it.
    {&CLSID_HTMLFile, &CreateHTMLFile},
    {&CLSID_HTMLFileRegistered, &CreateHTMLFile},
    {&CLSID_AlbumInfo, &CreateAlbumInfo},
    {&CLSID_DiscManifest, &CreateDiscManifest},
    {&CLSID_DiscGenerationInfo, &CreateDiscGenerationInfo},
    {&CLSID_EmbedImage, &CreateEmbedImage},
    {&CLSID_SeqOfStillImage, &CreateSeqOfStillImage},
    {&CLSID_SeqOfAudio, &CreateSeqOfAudio},
    {&CLSID_SeqOfAlbumInfo, &CreateSeqOfAlbumInfo},
    {&CLSID_XMLPropertyBag, &CreateXMLPropertyBag},
    {&CLSID_DOMHelper, &CreateDOMHelper},
    {&CLSID_DOMDocument30, &CreateDomDocumentForFactory},
    {&CLSID_Settings, &CreateSettings},
    {&CLSID_StillsSlideShow1XML, &CreateStillsSlideShow1XML},
    {&CLSID_MarwickXML, &CreateMarwickXML},
    {&CLSID_DiscManifestXML, &CreateDiscManifestXML},
    {&CLSID_EmbedImageXML, &CreateEmbedImageXML},
    {&CLSID_JPEGCOM, &CreateJPEGCOM},
    {&CLSID_JPGFixer, &CreateJPGFixer},
};

}  // namespace

VEXA_COM_SERVER_EXPORTS(kClasses, "vexaxml.reg")
