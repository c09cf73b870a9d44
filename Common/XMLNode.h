// XMLNode: a small in-memory XML document for 8-bit text.
//
// The client parses chat bodies ("<msg>...</msg>"), notices and peer-to-peer
// transfer commands with it, reads elements, attributes and texts, builds
// small documents and writes them back to text.
//
// An XMLNode is a handle: one pointer to shared, reference-counted node data.
// Copying a handle shares the data; the data are freed with the last handle
// (children with their parent, unless other handles still hold them). The
// empty node holds no data: every query on it answers 0, null or the empty
// node, and every builder on it does nothing.
//
// Texts handed out as `const char*` stay owned by the node and remain valid
// until the item is changed or deleted, or the node data are freed. Texts
// returned as `char*` (createXMLString...) belong to the caller, who frees
// them with free(). The `_WOSD` builders take ownership of texts the caller
// allocated with malloc() instead of copying them.
//
// Nothing in here recurses over the tree: documents of any depth are parsed,
// copied, written and freed without growing the call stack.
#pragma once

#include <string>

enum XMLError : int {
    eXMLErrorNone = 0,
    eXMLErrorMissingEndTag = 1,  // warning: an element was closed implicitly
    eXMLErrorNoXMLTagFound = 2,  // warning: the text holds no element
    eXMLErrorEmpty = 3,
    eXMLErrorMissingTagName = 4,
    eXMLErrorMissingEndTagName = 5,
    eXMLErrorUnmatchedEndTag = 6,
    eXMLErrorUnmatchedEndClearTag = 7,
    eXMLErrorUnexpectedToken = 8,
    eXMLErrorNoElements = 9,
    eXMLErrorFileNotFound = 10,
    eXMLErrorFirstTagNotFound = 11,
    eXMLErrorUnknownCharacterEntity = 12,
    eXMLErrorCharacterCodeAbove255 = 13,
    eXMLErrorCharConversionError = 14,
    eXMLErrorCannotOpenWriteFile = 15,
    eXMLErrorCannotWriteFile = 16,
    eXMLErrorBase64DataSizeIsNotMultipleOf4 = 17,
    eXMLErrorBase64DecodeIllegalCharacter = 18,
    eXMLErrorBase64DecodeTruncatedData = 19,
    eXMLErrorBase64DecodeBufferTooSmall = 20
};

// Kinds of the items of a node, as enumContents reports them.
enum XMLElementType {
    eNodeChild = 0,
    eNodeAttribute = 1,
    eNodeText = 2,
    eNodeClear = 3,
    eNodeNULL = 4
};

// Character encodings of the text handled (process-wide, see setGlobalOptions).
enum XMLCharEncoding {
    char_encoding_error = 0,
    char_encoding_UTF8 = 1,
    char_encoding_legacy = 2,
    char_encoding_ShiftJIS = 3,
    char_encoding_GB2312 = 4,
    char_encoding_Big5 = 5,
    char_encoding_GBK = 6
};

// Outcome of a parse: the code and where parsing stopped (line and column
// from 1, counted in characters; 0 when no text was read at all).
struct XMLResults {
    XMLError error;
    int nLine;
    int nColumn;
};

// A clear item: content kept verbatim between its opening and closing marks.
struct XMLClear {
    const char* lpszValue;
    const char* lpszOpenTag;
    const char* lpszCloseTag;
};

// An attribute; the value is null for an attribute written without "=".
struct XMLAttribute {
    const char* lpszName;
    const char* lpszValue;
};

struct XMLNodeContents;

class XMLNode {
public:
    XMLNode();
    XMLNode(const XMLNode& other);
    XMLNode& operator=(const XMLNode& other);
    ~XMLNode();

    // ---- Parsing --------------------------------------------------------
    // Parses `text`. With `tag` given (and not empty) the result is the
    // element of that name: the parsed node itself or its child (error 11
    // when there is none). On errors other than 0 to 2 the empty node.
    static XMLNode parseString(const char* text, const char* tag = nullptr, XMLResults* results = nullptr);
    // Reads a whole file and parses it: a UTF-8 byte-order mark is skipped,
    // UTF-16 text is converted first (when wide characters are guessed).
    static XMLNode parseFile(const char* path, const char* tag = nullptr, XMLResults* results = nullptr);
    // Sets the global encoding to the one guessed from the file's first 200
    // bytes and parses the file. On an error (code 3 and above) returns the
    // empty node; `results` receives the outcome and `message` (when given)
    // the description of the error for the user (empty when there is none).
    // Never shows anything and never ends the process.
    static XMLNode openFileHelper(const char* path, const char* tag = nullptr, XMLResults* results = nullptr,
                                  std::string* message = nullptr);

    static const char* getError(XMLError error);
    static const char* getVersion();

    // Process-wide options. Returns 1 (and changes nothing) for an unknown
    // encoding, else 0.
    static int setGlobalOptions(XMLCharEncoding encoding = char_encoding_UTF8, char guessWideChars = 1,
                                char dropWhiteSpace = 1, char removeCommentsInMiddleOfText = 1);
    // Guesses the encoding of a buffer (char_encoding_error when it cannot).
    static XMLCharEncoding guessCharEncoding(const void* buffer, int length, char useEncodingAttribute = 1);

    // ---- Building from nothing -------------------------------------------
    static XMLNode createXMLTopNode(const char* name, char isDeclaration = 0);
    static XMLNode createXMLTopNode_WOSD(char* name, char isDeclaration = 0);
    static XMLNode emptyNode();

    // ---- Writing --------------------------------------------------------
    // The node with its own tag; `format` not 0 gives the indented form
    // (only while white space is dropped). `size` receives the length.
    char* createXMLString(int format = 1, int* size = nullptr) const;
    // Only the node's content, without its own tag and attributes.
    char* createXMLStringElement(int format = 1, int* size = nullptr) const;
    // Writes the node to a file with an XML declaration line first (unless
    // the node carries one). Returns 0, 15 or 16.
    XMLError writeToFile(const char* path, const char* encoding = nullptr, char format = 1) const;

    // ---- Queries --------------------------------------------------------
    const char* getName() const;
    XMLNode getParentNode() const;
    bool isDeclaration() const;
    bool isEmpty() const;

    int nChildNode() const;
    int nChildNode(const char* name) const;
    XMLNode getChildNode(int index = 0) const;
    XMLNode getChildNode(const char* name, int index) const;
    XMLNode getChildNode(const char* name, int* iterator = nullptr) const;
    XMLNode getChildNodeWithAttribute(const char* tag, const char* attributeName,
                                      const char* attributeValue = nullptr, int* iterator = nullptr) const;
    XMLNode getChildNodeByPath(const char* path, char separator = '/') const;

    int nAttribute() const;
    XMLAttribute getAttribute(int index = 0) const;
    const char* getAttributeName(int index = 0) const;
    const char* getAttributeValue(int index = 0) const;
    const char* getAttribute(const char* name, int* iterator = nullptr) const;
    bool isAttributeSet(const char* name) const;

    int nText() const;
    const char* getText(int index = 0) const;

    int nClear() const;
    XMLClear getClear(int index = 0) const;

    // Children, texts, clear items and attributes together.
    int nElement() const;
    // Attributes first, then the content items in their order.
    XMLNodeContents enumContents(int index) const;

    // Positions in the content order (-1 when there is no such item).
    int positionOfText(int index = 0) const;
    int positionOfText(const char* text) const;
    int positionOfClear(int index = 0) const;
    int positionOfClear(const char* value) const;
    int positionOfChildNode(int index = 0) const;
    int positionOfChildNode(const XMLNode& child) const;
    int positionOfChildNode(const char* name, int index = 0) const;

    XMLNode deepCopy() const;

    // ---- Building -------------------------------------------------------
    // `position` is an index in the content order: the new item goes before
    // the item there; negative or past the end appends.
    XMLNode addChild(const char* name, char isDeclaration = 0, int position = -1);
    XMLNode addChild_WOSD(char* name, char isDeclaration = 0, int position = -1);
    // Attaches `child` (taken from its former parent first). Returns the
    // child, or the empty node when it would become its own ancestor.
    XMLNode addChild(XMLNode child, int position = -1);
    XMLAttribute* addAttribute(const char* name, const char* value);
    XMLAttribute* addAttribute_WOSD(char* name, char* value);
    const char* addText(const char* value, int position = -1);
    const char* addText_WOSD(char* value, int position = -1);
    XMLClear* addClear(const char* value, const char* openTag = "<![CDATA[", const char* closeTag = "]]>",
                       int position = -1);
    XMLClear* addClear_WOSD(char* value, const char* openTag = "<![CDATA[", const char* closeTag = "]]>",
                            int position = -1);

    const char* updateName(const char* name);
    const char* updateName_WOSD(char* name);
    // Gives the attribute named `oldName` (or `newName` when `oldName` is
    // null) the value, and the name `newName` when that is not null; adds the
    // attribute when there is none.
    XMLAttribute* updateAttribute(const char* value, const char* newName = nullptr, const char* oldName = nullptr);
    XMLAttribute* updateAttribute_WOSD(char* value, char* newName = nullptr, const char* oldName = nullptr);
    // Texts and clear items are named by index or by their text (the pointer
    // handed out, else the first equal one); a missing one is added.
    const char* updateText(const char* value, int index = 0);
    const char* updateText(const char* value, const char* oldValue);
    const char* updateText_WOSD(char* value, int index = 0);
    const char* updateText_WOSD(char* value, const char* oldValue);
    XMLClear* updateClear(const char* value, int index = 0);
    XMLClear* updateClear(const char* value, const char* oldValue);
    XMLClear* updateClear_WOSD(char* value, int index = 0);
    XMLClear* updateClear_WOSD(char* value, const char* oldValue);

    // Detaches the node from its parent, frees its content and makes this
    // handle the empty node (other handles see a node without content).
    void deleteNodeContent();
    void deleteAttribute(int index = 0);
    void deleteAttribute(const char* name);
    void deleteText(int index = 0);
    void deleteText(const char* value);
    void deleteClear(int index = 0);
    void deleteClear(const char* value);

private:
    struct Data;
    struct Impl;
    class Parser;
    explicit XMLNode(Data* data);
    Data* d;
};

// One item of a node as enumContents reports it: only the member that
// `etype` names is set.
struct XMLNodeContents {
    XMLElementType etype;
    XMLNode child;
    XMLAttribute attrib;
    const char* text;
    XMLClear clear;
};
