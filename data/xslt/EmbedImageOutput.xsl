<?xml version="1.0" encoding="UTF-8"?>
<!-- The system's own format on disk is the internal document shape: this
     stylesheet copies every node and attribute unchanged, so input and
     output are inverse transforms. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="xml" version="1.0" omit-xml-declaration="no" indent="no" encoding="UTF-8"/>
  <xsl:template match="@*|node()">
    <xsl:copy><xsl:apply-templates select="@*|node()"/></xsl:copy>
  </xsl:template>
</xsl:stylesheet>
