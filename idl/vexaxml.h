// Interfaces of the album document model server vexaxml: the album, still,
// audio, title-slide, file-reference and disc-manifest objects, their
// collections, the XML property bag, the DOM helper and the small DOM the
// server works on.
//
// Every interface lists its methods in slot order; properties are get_/put_
// pairs in the order of the interface. Strings are BSTRs the caller frees;
// object getters hand out one added reference.
#pragma once

#include "platform/com/Com.h"

// The namespace of every document the model reads and writes, fixed here
// for every class of the server.
inline constexpr char16_t kVexaXmlNamespace[] = u"http://schemas.vexa.example/go/di-cv-vexa-1-6";
// The selection prefix bound to that namespace in the documents the DOM
// helper makes.
inline constexpr char16_t kVexaXmlSelectionPrefix[] = u"vexa";

// ---- Enumerations (32-bit) ------------------------------------------------------

enum VEXAXMLTVSystem : LONG {
  VEXAXMLTVNTSC = 0,
  VEXAXMLTVFILM = 1,
  VEXAXMLTVPAL = 2,
  VEXAXMLTVSECAM = 3,
  VEXAXMLTVINVALID = 4,
};

enum VEXAXMLPaperSize : LONG {
  VEXAXMLPaperSizeLetter = 0,
  VEXAXMLPaperSizeA4 = 1,
  VEXAXMLPaperSizeInvalid = 2,
};

enum VEXAXMLPictureSizingBehavior : LONG {
  VEXAXMLPictureDefault = 0,
  VEXAXMLPictureResize = 1,
  VEXAXMLPictureClip = 2,
};

enum VEXAXMLStillImageResolution : LONG {
  VEXAXMLStillImageUnknownResolution = 0,
  VEXAXMLStillImageOriginalResolution = 1,
  VEXAXMLStillImageAlbumResolution = 2,
  VEXAXMLStillImageWebResolution = 3,
  VEXAXMLStillImageThumbResolution = 4,
};

// ---- The DOM --------------------------------------------------------------------
// A small document object model over the server's XML library. Loads are
// synchronous and never fetch external DTDs or entities or touch the network.

enum DOMNodeType : LONG {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_CDATA_SECTION = 4,
  NODE_ENTITY_REFERENCE = 5,
  NODE_ENTITY = 6,
  NODE_PROCESSING_INSTRUCTION = 7,
  NODE_COMMENT = 8,
  NODE_DOCUMENT = 9,
  NODE_DOCUMENT_TYPE = 10,
  NODE_DOCUMENT_FRAGMENT = 11,
  NODE_NOTATION = 12,
};

struct IXMLDOMDocument;
struct IXMLDOMNodeList;

struct IXMLDOMNode : IDispatch {
  virtual HRESULT get_nodeName(BSTR* name) = 0;
  virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
  // Local name without prefix.
  virtual HRESULT get_baseName(BSTR* name) = 0;
  // Null when the node is in no namespace.
  virtual HRESULT get_namespaceURI(BSTR* uri) = 0;
  virtual HRESULT get_prefix(BSTR* prefix) = 0;
  // Text of a text, comment or processing-instruction node (raw); empty for
  // other kinds.
  virtual HRESULT get_nodeValue(BSTR* value) = 0;
  // The text of the node and its descendants (text and CDATA only; entity
  // references are never expanded), trimmed of white space at both ends.
  virtual HRESULT get_text(BSTR* text) = 0;
  // Replaces every child with one text node (an empty text adds none).
  virtual HRESULT put_text(BSTR text) = 0;
  // The node serialised as XML.
  virtual HRESULT get_xml(BSTR* xml) = 0;
  virtual HRESULT get_parentNode(IXMLDOMNode** parent) = 0;
  // Null with S_FALSE when there is none.
  virtual HRESULT get_firstChild(IXMLDOMNode** child) = 0;
  virtual HRESULT get_lastChild(IXMLDOMNode** child) = 0;
  virtual HRESULT get_nextSibling(IXMLDOMNode** sibling) = 0;
  virtual HRESULT get_previousSibling(IXMLDOMNode** sibling) = 0;
  virtual HRESULT get_childNodes(IXMLDOMNodeList** list) = 0;
  virtual HRESULT get_ownerDocument(IXMLDOMDocument** document) = 0;
  // Appends newChild (of the same document, not yet in the tree) as the last
  // child; returns it again through outNewChild when that is not null.
  virtual HRESULT appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) = 0;
  // Detaches oldChild from this node.
  virtual HRESULT removeChild(IXMLDOMNode* oldChild, IXMLDOMNode** outOldChild) = 0;
  virtual HRESULT hasChildNodes(VARIANT_BOOL* has) = 0;
  // XPath 1.0 with the owner document's selection namespaces. S_FALSE and a
  // null node when nothing matches.
  virtual HRESULT selectSingleNode(BSTR query, IXMLDOMNode** node) = 0;
  virtual HRESULT selectNodes(BSTR query, IXMLDOMNodeList** list) = 0;
  // Transforms this document with the stylesheet document into
  // outputObject, an IXMLDOMDocument given as VT_DISPATCH or VT_UNKNOWN;
  // the result replaces the output document's content and keeps the
  // stylesheet's output method for its save.
  virtual HRESULT transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) = 0;

 protected:
  ~IXMLDOMNode() = default;
};
VEXA_DEFINE_IID(IXMLDOMNode, "{9C19D6DF-84FE-4239-998A-CD7BC20179DD}")

struct IXMLDOMNodeList : IDispatch {
  virtual HRESULT get_item(LONG index, IXMLDOMNode** node) = 0;  // from 0
  virtual HRESULT get_length(LONG* length) = 0;

 protected:
  ~IXMLDOMNodeList() = default;
};
VEXA_DEFINE_IID(IXMLDOMNodeList, "{C465B08E-05D4-4B33-865B-0EB317EE7E30}")

struct IXMLDOMElement : IXMLDOMNode {
  virtual HRESULT get_tagName(BSTR* name) = 0;
  // VT_NULL when the attribute is missing.
  virtual HRESULT getAttribute(BSTR name, VARIANT* value) = 0;
  virtual HRESULT setAttribute(BSTR name, VARIANT value) = 0;

 protected:
  ~IXMLDOMElement() = default;
};
VEXA_DEFINE_IID(IXMLDOMElement, "{DD379F41-E32C-487A-BA37-7948BAB06072}")

struct IXMLDOMDocument : IXMLDOMNode {
  // S_FALSE and null when the document has no element.
  virtual HRESULT get_documentElement(IXMLDOMElement** element) = 0;
  // Sets (or replaces) the document element.
  virtual HRESULT putref_documentElement(IXMLDOMElement* element) = 0;
  // type NODE_ELEMENT, NODE_TEXT, NODE_COMMENT; namespaceURI may be null.
  virtual HRESULT createNode(VARIANT type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) = 0;
  virtual HRESULT createElement(BSTR tagName, IXMLDOMElement** element) = 0;
  virtual HRESULT createTextNode(BSTR data, IXMLDOMNode** node) = 0;
  // The target "xml" makes the declaration: appended to the document it sets
  // the document's version (and encoding) instead of adding a node.
  virtual HRESULT createProcessingInstruction(BSTR target, BSTR data, IXMLDOMNode** node) = 0;
  // Loads from a path (VT_BSTR) or from bytes (VT_ARRAY | VT_UI1), all at
  // once. *success is VARIANT_FALSE, with S_FALSE, when the source cannot be
  // read or is not well-formed; the document then is empty.
  virtual HRESULT load(VARIANT source, VARIANT_BOOL* success) = 0;
  virtual HRESULT loadXML(BSTR xml, VARIANT_BOOL* success) = 0;
  // Why the last load failed (empty after a good load).
  virtual HRESULT get_parseErrorReason(BSTR* reason) = 0;
  // Saves to a path (VT_BSTR), replacing the file in one step.
  virtual HRESULT save(VARIANT destination) = 0;

 protected:
  ~IXMLDOMDocument() = default;
};
VEXA_DEFINE_IID(IXMLDOMDocument, "{2A24FF4C-96D4-431C-A008-E25A35779094}")

struct IXMLDOMDocument2 : IXMLDOMDocument {
  // "SelectionLanguage" ("XPath") and "SelectionNamespaces"
  // ("xmlns:p='uri' xmlns:q='uri2'").
  virtual HRESULT setProperty(BSTR name, VARIANT value) = 0;
  virtual HRESULT getProperty(BSTR name, VARIANT* value) = 0;

 protected:
  ~IXMLDOMDocument2() = default;
};
VEXA_DEFINE_IID(IXMLDOMDocument2, "{4E2F4AAF-3F43-49C5-814F-2FE934184560}")

// The DOM document class of the server.
VEXA_DEFINE_CLSID(DOMDocument30, "{F5078F32-C551-11D3-89B9-0000F81FE221}")

// ---- Persistence ----------------------------------------------------------------

struct IXMLPropertyBag;

struct IPersistXMLPropertyBag : IPersist {
  virtual HRESULT InitNew() = 0;
  virtual HRESULT Load(IXMLPropertyBag* pPropBag) = 0;
  virtual HRESULT Save(IXMLPropertyBag* pPropBag) = 0;

 protected:
  ~IPersistXMLPropertyBag() = default;
};
VEXA_DEFINE_IID(IPersistXMLPropertyBag, "{23B23E11-D3D5-4610-B326-D6B0371776AD}")

struct IXMLPropertyBag : IUnknown {
  virtual HRESULT Read(LPCOLESTR pwszPropName, VARIANT* pVar) = 0;
  virtual HRESULT Write(LPCOLESTR pwszPropName, VARIANT* pVar) = 0;
  virtual HRESULT init(IXMLDOMElement* pElement) = 0;
  virtual HRESULT GetPropertyBagFromXML(IXMLDOMElement* pElement, IXMLPropertyBag** ppPropBag) = 0;
  virtual HRESULT LoadFromXMLTop(IXMLDOMElement* pElement, IPersistXMLPropertyBag* pObj) = 0;
  virtual HRESULT SaveToXMLTop(IXMLDOMElement* pElement, IPersistXMLPropertyBag* pObj) = 0;
  virtual HRESULT ReadIndexed(LONG index, LPCOLESTR pwszPropName, VARIANT* pVar) = 0;
  virtual HRESULT WriteIndexed(LONG index, LPCOLESTR pwszPropName, VARIANT* pVar) = 0;
  virtual HRESULT readNumProperties(LONG* pNumProperties) = 0;

 protected:
  ~IXMLPropertyBag() = default;
};
VEXA_DEFINE_IID(IXMLPropertyBag, "{D1E1DADF-97C4-4389-B011-926D4DFE6FD7}")
VEXA_DEFINE_CLSID(XMLPropertyBag, "{6511F360-97A9-41E7-807C-D1E8AB2322A8}")

// ---- DOM helper -------------------------------------------------------------------

struct IDOMHelper : IDispatch {
  virtual HRESULT addElement(IXMLDOMElement* parent, BSTR localName, BSTR nsURI,
                             IXMLDOMElement** addedElement) = 0;                          // 1
  virtual HRESULT addLongContent(IXMLDOMElement* parent, LONG value) = 0;                 // 2
  virtual HRESULT addDocumentElement(IXMLDOMDocument* pDoc, BSTR localName, BSTR nsURI,
                                     IXMLDOMElement** ppDocumentElement) = 0;             // 3
  virtual HRESULT getDocumentElement(IXMLDOMDocument* pDoc,
                                     IXMLDOMElement** ppDocumentElement) = 0;             // 4
  virtual HRESULT getElement(IXMLDOMElement* parent, BSTR name, BSTR nsURI,
                             IXMLDOMElement** ppElement) = 0;                             // 5
  virtual HRESULT createDocument(IXMLDOMDocument** ppDocument) = 0;                       // 6
  virtual HRESULT getLongContent(IXMLDOMElement* parent, LONG* pContent) = 0;             // 7
  virtual HRESULT addTextContent(IXMLDOMElement* parent, BSTR content) = 0;               // 8
  virtual HRESULT getTextContent(IXMLDOMElement* parent, BSTR* pContent) = 0;             // 9
  virtual HRESULT getElementByIndex(IXMLDOMElement* parent, LONG index,
                                    IXMLDOMElement** ppElement) = 0;                      // 10
  virtual HRESULT hasText(IXMLDOMElement* pElement, VARIANT_BOOL* theResult) = 0;         // 11
  virtual HRESULT transform(IXMLDOMDocument* inDoc, IXMLDOMDocument* xslDoc,
                            IXMLDOMDocument* outDoc) = 0;                                 // 12

 protected:
  ~IDOMHelper() = default;
};
VEXA_DEFINE_IID(IDOMHelper, "{4BBE5D1A-4D19-4A46-BE8D-577DACD1A724}")
VEXA_DEFINE_CLSID(DOMHelper, "{F600E455-E673-4188-B03D-472317EF9AE0}")

// ---- Model objects ------------------------------------------------------------------

struct IStillImage;
struct IAudio;
struct IAlbumInfo;

struct ITitleSlide : IDispatch {
  virtual HRESULT get_line1(BSTR* v) = 0;  // 1
  virtual HRESULT put_line1(BSTR v) = 0;
  virtual HRESULT get_line2(BSTR* v) = 0;  // 2
  virtual HRESULT put_line2(BSTR v) = 0;
  virtual HRESULT get_line3(BSTR* v) = 0;  // 3
  virtual HRESULT put_line3(BSTR v) = 0;

 protected:
  ~ITitleSlide() = default;
};
VEXA_DEFINE_IID(ITitleSlide, "{A5600273-4B0D-472F-8484-4564D7C96097}")

struct IVCDSlideShow : IDispatch {
  virtual HRESULT get_identifier(BSTR* v) = 0;     // 1
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_trackFilename(BSTR* v) = 0;  // 2
  virtual HRESULT put_trackFilename(BSTR v) = 0;

 protected:
  ~IVCDSlideShow() = default;
};
VEXA_DEFINE_IID(IVCDSlideShow, "{EFA770EF-7CC8-4A82-9E0B-A8C2780FA671}")

struct IPDFFile : IDispatch {
  virtual HRESULT get_identifier(BSTR* v) = 0;   // 1
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_pdfFilename(BSTR* v) = 0;  // 2
  virtual HRESULT put_pdfFilename(BSTR v) = 0;

 protected:
  ~IPDFFile() = default;
};
VEXA_DEFINE_IID(IPDFFile, "{E4009D95-C896-4E26-8A0D-76E7AD449FA1}")

struct IHTMLFile : IDispatch {
  virtual HRESULT get_identifier(BSTR* v) = 0;    // 1
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_htmlFilename(BSTR* v) = 0;  // 2
  virtual HRESULT put_htmlFilename(BSTR v) = 0;

 protected:
  ~IHTMLFile() = default;
};
VEXA_DEFINE_IID(IHTMLFile, "{504DC040-C1A7-4960-BC50-DB432871A2CF}")

struct IAlbumInfo : IDispatch {
  virtual HRESULT get_identifier(BSTR* v) = 0;        // 1
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_manifestFilename(BSTR* v) = 0;  // 2
  virtual HRESULT put_manifestFilename(BSTR v) = 0;

 protected:
  ~IAlbumInfo() = default;
};
VEXA_DEFINE_IID(IAlbumInfo, "{1C585242-ADDA-4C8F-B3A4-B516DD46773D}")

struct IEmbedImage : IDispatch {
  virtual HRESULT get_originalIdentifier(BSTR* v) = 0;                 // 3
  virtual HRESULT put_originalIdentifier(BSTR v) = 0;
  virtual HRESULT get_resolution(VEXAXMLStillImageResolution* v) = 0;  // 4
  virtual HRESULT put_resolution(VEXAXMLStillImageResolution v) = 0;

 protected:
  ~IEmbedImage() = default;
};
VEXA_DEFINE_IID(IEmbedImage, "{EF6FE2A9-9745-4916-A4B6-930613E3D837}")

struct IStillImage : IDispatch {
  virtual HRESULT get_odWebResFilename(BSTR* v) = 0;               // 2
  virtual HRESULT put_odWebResFilename(BSTR v) = 0;
  virtual HRESULT get_odThumbResFilename(BSTR* v) = 0;             // 3
  virtual HRESULT put_odThumbResFilename(BSTR v) = 0;
  virtual HRESULT get_odFullResFilename(BSTR* v) = 0;              // 4
  virtual HRESULT put_odFullResFilename(BSTR v) = 0;
  virtual HRESULT get_title(BSTR* v) = 0;                          // 5
  virtual HRESULT put_title(BSTR v) = 0;
  virtual HRESULT get_destCTime(DATE* v) = 0;                      // 6
  virtual HRESULT put_destCTime(DATE v) = 0;
  virtual HRESULT get_destRotate(LONG* v) = 0;                     // 7
  virtual HRESULT put_destRotate(LONG v) = 0;
  virtual HRESULT get_destSizingBehavior(VEXAXMLPictureSizingBehavior* v) = 0;  // 8
  virtual HRESULT put_destSizingBehavior(VEXAXMLPictureSizingBehavior v) = 0;
  virtual HRESULT get_identifier(BSTR* v) = 0;                     // 9
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_originalFilename(BSTR* v) = 0;               // 1
  virtual HRESULT put_originalFilename(BSTR v) = 0;
  virtual HRESULT get_discOriginal9660Filename(BSTR* v) = 0;       // 10
  virtual HRESULT put_discOriginal9660Filename(BSTR v) = 0;
  virtual HRESULT get_discOriginalJolietFilename(BSTR* v) = 0;     // 11
  virtual HRESULT put_discOriginalJolietFilename(BSTR v) = 0;
  virtual HRESULT get_albumOriginal9660Filename(BSTR* v) = 0;      // 12
  virtual HRESULT put_albumOriginal9660Filename(BSTR v) = 0;
  virtual HRESULT get_albumOriginalJolietFilename(BSTR* v) = 0;    // 13
  virtual HRESULT put_albumOriginalJolietFilename(BSTR v) = 0;
  virtual HRESULT get_odOriginalFilename(BSTR* v) = 0;             // 14
  virtual HRESULT put_odOriginalFilename(BSTR v) = 0;
  virtual HRESULT get_isTitleStill(VARIANT_BOOL* v) = 0;           // 15
  virtual HRESULT put_isTitleStill(VARIANT_BOOL v) = 0;
  virtual HRESULT get_width(LONG* v) = 0;                          // 16
  virtual HRESULT put_width(LONG v) = 0;
  virtual HRESULT get_height(LONG* v) = 0;                         // 17
  virtual HRESULT put_height(LONG v) = 0;
  virtual HRESULT get_albumFullRes9660Filename(BSTR* v) = 0;       // 18
  virtual HRESULT put_albumFullRes9660Filename(BSTR v) = 0;
  virtual HRESULT get_albumFullResJolietFilename(BSTR* v) = 0;     // 19
  virtual HRESULT put_albumFullResJolietFilename(BSTR v) = 0;

 protected:
  ~IStillImage() = default;
};
VEXA_DEFINE_IID(IStillImage, "{EE67BE1D-A6D7-49D3-9385-BFDFA7E4E090}")

struct IAudio : IDispatch {
  virtual HRESULT get_odFullResFilename(BSTR* v) = 0;            // 1
  virtual HRESULT put_odFullResFilename(BSTR v) = 0;
  virtual HRESULT get_destCTime(DATE* v) = 0;                    // 2
  virtual HRESULT put_destCTime(DATE v) = 0;
  virtual HRESULT get_originalFilename(BSTR* v) = 0;             // 3
  virtual HRESULT put_originalFilename(BSTR v) = 0;
  virtual HRESULT get_identifier(BSTR* v) = 0;                   // 9
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_discOriginal9660Filename(BSTR* v) = 0;     // 10
  virtual HRESULT put_discOriginal9660Filename(BSTR v) = 0;
  virtual HRESULT get_discOriginalJolietFilename(BSTR* v) = 0;   // 11
  virtual HRESULT put_discOriginalJolietFilename(BSTR v) = 0;
  virtual HRESULT get_albumOriginal9660Filename(BSTR* v) = 0;    // 12
  virtual HRESULT put_albumOriginal9660Filename(BSTR v) = 0;
  virtual HRESULT get_albumOriginalJolietFilename(BSTR* v) = 0;  // 13
  virtual HRESULT put_albumOriginalJolietFilename(BSTR v) = 0;
  virtual HRESULT get_odOriginalFilename(BSTR* v) = 0;           // 14
  virtual HRESULT put_odOriginalFilename(BSTR v) = 0;

 protected:
  ~IAudio() = default;
};
VEXA_DEFINE_IID(IAudio, "{5B06F313-6A6E-4FC3-8502-094D827683A9}")

// The three collections: 1-based, in order of addition.
struct ISeqOfStillImage : IDispatch {
  virtual HRESULT AddStillImage(IStillImage** ppStillImage) = 0;  // 1
  virtual HRESULT Clear() = 0;                                    // 2
  virtual HRESULT get_Count(LONG* pnCount) = 0;                   // 0x60020002
  virtual HRESULT get_Item(LONG n, IStillImage** ppStillImage) = 0;  // 0
  virtual HRESULT get__NewEnum(IUnknown** ppEnum) = 0;            // -4

 protected:
  ~ISeqOfStillImage() = default;
};
VEXA_DEFINE_IID(ISeqOfStillImage, "{BA04AA93-84A3-4E16-BEEC-918495A6930F}")

struct ISeqOfAudio : IDispatch {
  virtual HRESULT AddAudio(IAudio** ppAudio) = 0;
  virtual HRESULT Clear() = 0;
  virtual HRESULT get_Count(LONG* pnCount) = 0;
  virtual HRESULT get_Item(LONG n, IAudio** ppAudio) = 0;
  virtual HRESULT get__NewEnum(IUnknown** ppEnum) = 0;

 protected:
  ~ISeqOfAudio() = default;
};
VEXA_DEFINE_IID(ISeqOfAudio, "{3F964474-122B-49FA-AA20-9BA264FA9F83}")

struct ISeqOfAlbumInfo : IDispatch {
  virtual HRESULT AddAlbumInfo(IAlbumInfo** ppAlbumInfo) = 0;
  virtual HRESULT Clear() = 0;
  virtual HRESULT get_Count(LONG* pnCount) = 0;
  virtual HRESULT get_Item(LONG n, IAlbumInfo** ppAlbumInfo) = 0;
  virtual HRESULT get__NewEnum(IUnknown** ppEnum) = 0;

 protected:
  ~ISeqOfAlbumInfo() = default;
};
VEXA_DEFINE_IID(ISeqOfAlbumInfo, "{F9C23814-16EA-4EB5-97E7-1C191A8E57C3}")

constexpr DISPID DISPID_SEQ_COUNT = 0x60020002;

struct IStillsSlideShow1 : IDispatch {
  virtual HRESULT get_stillTitleVisibleTime(LONG* v) = 0;          // 1
  virtual HRESULT put_stillTitleVisibleTime(LONG v) = 0;
  virtual HRESULT get_stillDelay(LONG* v) = 0;                     // 2
  virtual HRESULT put_stillDelay(LONG v) = 0;
  virtual HRESULT get_stillImages(ISeqOfStillImage** v) = 0;       // 3
  virtual HRESULT get_audios(ISeqOfAudio** v) = 0;                 // 4
  virtual HRESULT get_titleSlide(ITitleSlide** v) = 0;             // 5
  virtual HRESULT get_identifier(BSTR* v) = 0;                     // 6
  virtual HRESULT put_identifier(BSTR v) = 0;
  virtual HRESULT get_tvSystem(VEXAXMLTVSystem* v) = 0;            // 7
  virtual HRESULT put_tvSystem(VEXAXMLTVSystem v) = 0;
  virtual HRESULT get_paperSize(VEXAXMLPaperSize* v) = 0;          // 8
  virtual HRESULT put_paperSize(VEXAXMLPaperSize v) = 0;
  virtual HRESULT get_vcdSlideShow(IVCDSlideShow** v) = 0;         // 9
  virtual HRESULT get_cdCaseInsert(IPDFFile** v) = 0;              // 11
  virtual HRESULT get_contactSheet(IPDFFile** v) = 0;              // 12
  virtual HRESULT get_multiSizePrints(IPDFFile** v) = 0;           // 13
  virtual HRESULT get_albumHomePage(IHTMLFile** v) = 0;            // 14
  virtual HRESULT get_albumBrowseHomePage(IHTMLFile** v) = 0;      // 15
  virtual HRESULT get_albumSlideShowHomePage(IHTMLFile** v) = 0;   // 16

 protected:
  ~IStillsSlideShow1() = default;
};
VEXA_DEFINE_IID(IStillsSlideShow1, "{3C1CAE4E-BDFF-4A33-A72E-61BD81F92FBA}")

struct IDiscGenerationInfo : IDispatch {
  virtual HRESULT get_copyrightFileIdentifier(BSTR* v) = 0;        // 1
  virtual HRESULT put_copyrightFileIdentifier(BSTR v) = 0;
  virtual HRESULT get_abstractFileIdentifier(BSTR* v) = 0;         // 3
  virtual HRESULT put_abstractFileIdentifier(BSTR v) = 0;
  virtual HRESULT get_publisherIdentifier(BSTR* v) = 0;            // 2
  virtual HRESULT put_publisherIdentifier(BSTR v) = 0;
  virtual HRESULT get_bibliographicalFileIdentifier(BSTR* v) = 0;  // 4
  virtual HRESULT put_bibliographicalFileIdentifier(BSTR v) = 0;
  virtual HRESULT get_expiresDate(DATE* v) = 0;                    // 5
  virtual HRESULT put_expiresDate(DATE v) = 0;
  virtual HRESULT get_effectiveDate(DATE* v) = 0;                  // 6
  virtual HRESULT put_effectiveDate(DATE v) = 0;
  virtual HRESULT get_dataPreparerIdentifier(BSTR* v) = 0;         // 7
  virtual HRESULT put_dataPreparerIdentifier(BSTR v) = 0;
  virtual HRESULT get_createdDate(DATE* v) = 0;                    // 8
  virtual HRESULT put_createdDate(DATE v) = 0;
  virtual HRESULT get_modifiedDate(DATE* v) = 0;                   // 9
  virtual HRESULT put_modifiedDate(DATE v) = 0;
  virtual HRESULT get_applicationIdentifier(BSTR* v) = 0;          // 10
  virtual HRESULT put_applicationIdentifier(BSTR v) = 0;

 protected:
  ~IDiscGenerationInfo() = default;
};
VEXA_DEFINE_IID(IDiscGenerationInfo, "{83649C84-683A-45E9-A277-6093BBEF425A}")

struct IDiscManifest : IDispatch {
  virtual HRESULT get_discGenerationInfo(IDiscGenerationInfo** v) = 0;  // 1
  virtual HRESULT get_volumeIdentifier(BSTR* v) = 0;                    // 2
  virtual HRESULT put_volumeIdentifier(BSTR v) = 0;
  virtual HRESULT get_specVersion(BSTR* v) = 0;                         // 3
  virtual HRESULT put_specVersion(BSTR v) = 0;
  virtual HRESULT get_discIdentifier(BSTR* v) = 0;                      // 4
  virtual HRESULT put_discIdentifier(BSTR v) = 0;
  virtual HRESULT get_albums(ISeqOfAlbumInfo** v) = 0;                  // 6
  virtual HRESULT get_discHomePage(IHTMLFile** v) = 0;                  // 5

 protected:
  ~IDiscManifest() = default;
};
VEXA_DEFINE_IID(IDiscManifest, "{535C0E22-4EBE-4F0F-AB24-3297B2B07BA1}")

// ---- Class identifiers -------------------------------------------------------------

VEXA_DEFINE_CLSID(StillsSlideShow1, "{578085A6-7E6A-4E8A-8E88-34A461C960F2}")
VEXA_DEFINE_CLSID(StillImage, "{CEB36904-8C96-4A03-B01A-C1981DA0EC9E}")
VEXA_DEFINE_CLSID(Audio, "{F98712C5-E00D-47FA-95BA-E3F7C3B94B4B}")
VEXA_DEFINE_CLSID(TitleSlide, "{E4F537D5-FAB0-458D-BDB1-FFA673C765DF}")
VEXA_DEFINE_CLSID(VCDSlideShow, "{3F903622-8839-43A0-88BB-B42334053115}")
VEXA_DEFINE_CLSID(PDFFile, "{C84825DC-1FF5-439F-A51C-C1897F402001}")
VEXA_DEFINE_CLSID(HTMLFile, "{D28D48BF-596F-4384-BD96-598894737D87}")
// The class identifier HTMLFile is registered under (its objects still
// report CLSID_HTMLFile from GetClassID).
VEXA_DEFINE_CLSID(HTMLFileRegistered, "{1F405D6B-F305-4CBD-9C3A-2B86DE71492F}")
VEXA_DEFINE_CLSID(AlbumInfo, "{F00BA3D6-11C3-4D24-A2CE-CE623611403E}")
VEXA_DEFINE_CLSID(DiscManifest, "{955DAAFE-B1C3-40F3-8D41-D68E1CEFA668}")
VEXA_DEFINE_CLSID(DiscGenerationInfo, "{983AD31D-991E-4EAC-96CB-28EB970A7764}")
VEXA_DEFINE_CLSID(EmbedImage, "{16A0B477-1ED1-4F10-896D-2924DE39C438}")
VEXA_DEFINE_CLSID(SeqOfStillImage, "{0B3565A0-7EE7-4035-B6B9-7235A0DB6AA9}")
VEXA_DEFINE_CLSID(SeqOfAudio, "{E5E788C9-EFA1-47F4-90C6-5A6D12A03BC9}")
VEXA_DEFINE_CLSID(SeqOfAlbumInfo, "{8AEE707B-3C24-4D66-9212-6830378EC17D}")

// The type library the model's interfaces belong to.
inline constexpr GUID LIBID_VEXAXMLLib = vexa::com::Guid("{4AFB13B3-3C4C-4C16-8CC8-BAB9BD958820}");
// The type library the server's classes describe themselves in (version 1.0).
inline constexpr vexa::com::TypeLibraryId kVEXAXMLLib{LIBID_VEXAXMLLib, 1, 0, 0, u"VEXAXMLLib"};

// ---- Mappers and settings -----------------------------------------------------------

// The directory the mappers' stylesheets are found in (the registry's
// APP_PATH, ending with a separator).
struct ISettings : IDispatch {
  virtual HRESULT get_settingsDirectory(BSTR* pVal) = 0;  // 3
  virtual HRESULT put_settingsDirectory(BSTR newVal) = 0;

 protected:
  ~ISettings() = default;
};
VEXA_DEFINE_IID(ISettings, "{4932A0D3-F75C-45E7-AE94-45059415FEF8}")
VEXA_DEFINE_CLSID(Settings, "{4CBD9FB2-F2B0-4424-8E17-30BD2FC4C635}")

struct IStillsSlideShow1XML : IDispatch {
  virtual HRESULT loadFromURL(BSTR pathToXML, IStillsSlideShow1** slideshow) = 0;  // 1
  virtual HRESULT storeToFile(BSTR pathToFile, IStillsSlideShow1* slideshow) = 0;  // 2

 protected:
  ~IStillsSlideShow1XML() = default;
};
VEXA_DEFINE_IID(IStillsSlideShow1XML, "{113F0D76-83E6-4B94-BFEA-B3887C544E0E}")
VEXA_DEFINE_CLSID(StillsSlideShow1XML, "{44E19302-AD76-4336-BFCC-33BB3C100BDA}")

struct IMarwickXML : IDispatch {
  virtual HRESULT loadFromURL(BSTR pathToXML, IStillsSlideShow1** slideshow) = 0;  // 1
  virtual HRESULT storeToFile(BSTR pathToFile, IStillsSlideShow1* slideshow) = 0;  // 2
  virtual HRESULT convertToStillsSlideShow1XML(BSTR inputFile, BSTR outputFile) = 0;  // 3

 protected:
  ~IMarwickXML() = default;
};
VEXA_DEFINE_IID(IMarwickXML, "{FBBA0D95-A053-4C9E-9F59-B06455E88998}")
VEXA_DEFINE_CLSID(MarwickXML, "{73EBE924-FDF1-4F3B-86E1-2A02132DFD2D}")

struct IDiscManifestXML : IDispatch {
  virtual HRESULT loadFromURL(BSTR pathToXML, IDiscManifest** ppDiscManifest) = 0;  // 5
  virtual HRESULT storeToFile(BSTR pathToFile, IDiscManifest* pDiscManifest) = 0;   // 6

 protected:
  ~IDiscManifestXML() = default;
};
VEXA_DEFINE_IID(IDiscManifestXML, "{1295CBE1-1804-4048-9907-E50C04A13AFF}")
VEXA_DEFINE_CLSID(DiscManifestXML, "{C4D5FEFB-C08A-4F83-A359-F4070CE2107C}")

// ---- JPEG comment segments ----------------------------------------------------------

// Reads the comment segments at the head of a JPEG and writes a copy with
// an edited list; every other byte is copied unchanged. Positions count
// from 1; payloads are VT_ARRAY | VT_UI1.
struct IJPEGCOM : IDispatch {
  virtual HRESULT get_fromFilename(BSTR* pVal) = 0;             // 1
  virtual HRESULT put_fromFilename(BSTR newVal) = 0;
  virtual HRESULT get_toFilename(BSTR* pVal) = 0;               // 2
  virtual HRESULT put_toFilename(BSTR newVal) = 0;
  virtual HRESULT getMarker(LONG i, VARIANT* bytesOut) = 0;     // 3
  virtual HRESULT replaceMarker(LONG i, VARIANT bytes) = 0;     // 4
  virtual HRESULT insertMarker(LONG i, VARIANT bytes) = 0;      // 5
  virtual HRESULT get_numMarkers(LONG* pVal) = 0;               // 6
  virtual HRESULT commit() = 0;                                 // 7
  virtual HRESULT start() = 0;                                  // 8
  // Drops the i-th comment from the list.
  virtual HRESULT removeMarker(LONG i) = 0;                     // 9

 protected:
  ~IJPEGCOM() = default;
};
VEXA_DEFINE_IID(IJPEGCOM, "{44187C2E-227F-48F7-8D39-2E5EB883000A}")
VEXA_DEFINE_CLSID(JPEGCOM, "{D4CC038B-9244-4CBD-BB5A-703CA0DE7BAC}")

struct IEmbedImageXML : IDispatch {
  virtual HRESULT loadFromURL(BSTR pathToXML, IEmbedImage** ppEmbedImage) = 0;      // 1
  virtual HRESULT storeToFile(BSTR pathToFile, IEmbedImage* pEmbedImage) = 0;       // 2
  // The record kept in a photo's comment segments; a photo without one reads
  // as a fresh record.
  virtual HRESULT loadFromJPEG(BSTR pathToJPEG, IEmbedImage** ppEmbedImage) = 0;    // 3
  virtual HRESULT storeToJPEG(BSTR pathToJPEG, IEmbedImage* pEmbedImage) = 0;       // 4
  // Position (0: none) and payload of the record among a started JPEGCOM's
  // comments.
  virtual HRESULT getMarker(IJPEGCOM* pJPEGCOM, LONG* pIndex, VARIANT* pBytes) = 0;  // 5

 protected:
  ~IEmbedImageXML() = default;
};
VEXA_DEFINE_IID(IEmbedImageXML, "{09802F93-10FC-4E26-99A4-DBF2F562EC68}")
VEXA_DEFINE_CLSID(EmbedImageXML, "{D4D1EFB4-BC89-4CDD-AD87-88A13A6E97AB}")

struct IJPGFixer : IDispatch {
  virtual HRESULT fixup(BSTR beforePath, BSTR afterPath, BSTR resultPath, LONG rotation,
                        LONG clipX, LONG clipY, LONG clipWidth, LONG clipHeight) = 0;

 protected:
  ~IJPGFixer() = default;
};
VEXA_DEFINE_IID(IJPGFixer, "{A1108202-5FF7-44CD-AED3-29820228E756}")
VEXA_DEFINE_CLSID(JPGFixer, "{586A0AF9-BBE9-441B-B623-6F38999FA650}")
