<?xml version="1.0" encoding="UTF-8"?>
<!-- The album document to the partner album format (see MARWICK.md). -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:vexa="http://schemas.vexa.example/go/di-cv-vexa-1-6"
                exclude-result-prefixes="vexa">
  <xsl:output method="xml" version="1.0" omit-xml-declaration="no" indent="yes" encoding="UTF-8"/>

  <xsl:template match="/">
    <xsl:apply-templates select="vexa:AlbumManifest"/>
  </xsl:template>

  <xsl:template match="vexa:AlbumManifest">
    <xsl:variable name="l1" select="normalize-space(vexa:titleSlide/vexa:line1)"/>
    <xsl:variable name="l2" select="normalize-space(vexa:titleSlide/vexa:line2)"/>
    <xsl:variable name="l3" select="normalize-space(vexa:titleSlide/vexa:line3)"/>
    <xsl:variable name="tv" select="normalize-space(vexa:tvSystem)"/>
    <marwickAlbum version="1">
      <xsl:if test="$l1 != '' or $l2 != '' or $l3 != ''"><titleLine><xsl:value-of select="$l1"/></titleLine></xsl:if>
      <xsl:if test="$l2 != '' or $l3 != ''"><titleLine><xsl:value-of select="$l2"/></titleLine></xsl:if>
      <xsl:if test="$l3 != ''"><titleLine><xsl:value-of select="$l3"/></titleLine></xsl:if>
      <xsl:choose>
        <xsl:when test="$tv = '0'"><tvSystem>NTSC</tvSystem></xsl:when>
        <xsl:when test="$tv = '1'"><tvSystem>FILM</tvSystem></xsl:when>
        <xsl:when test="$tv = '2'"><tvSystem>PAL</tvSystem></xsl:when>
        <xsl:when test="$tv = '3'"><tvSystem>SECAM</tvSystem></xsl:when>
      </xsl:choose>
      <xsl:if test="normalize-space(vexa:stillDelay) != ''">
        <delay><xsl:value-of select="normalize-space(vexa:stillDelay)"/></delay>
      </xsl:if>
      <xsl:if test="normalize-space(vexa:stillTitleVisibleTime) != ''">
        <titleDelay><xsl:value-of select="normalize-space(vexa:stillTitleVisibleTime)"/></titleDelay>
      </xsl:if>
      <xsl:for-each select="vexa:stillImages/vexa:StillImage">
        <still>
          <path><xsl:value-of select="normalize-space(vexa:originalFilename)"/></path>
          <xsl:if test="normalize-space(vexa:title) != ''">
            <caption><xsl:value-of select="normalize-space(vexa:title)"/></caption>
          </xsl:if>
        </still>
      </xsl:for-each>
      <xsl:for-each select="vexa:audios/vexa:Audio">
        <music><path><xsl:value-of select="normalize-space(vexa:originalFilename)"/></path></music>
      </xsl:for-each>
    </marwickAlbum>
  </xsl:template>
</xsl:stylesheet>
