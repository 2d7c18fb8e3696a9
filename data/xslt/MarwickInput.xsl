<?xml version="1.0" encoding="UTF-8"?>
<!-- The partner album format (see MARWICK.md) to the album document. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns="http://schemas.vexa.example/go/di-cv-vexa-1-6">
  <xsl:output method="xml" version="1.0" omit-xml-declaration="no" indent="no" encoding="UTF-8"/>

  <xsl:template match="/">
    <xsl:apply-templates select="marwickAlbum"/>
  </xsl:template>

  <xsl:template match="marwickAlbum">
    <AlbumManifest>
      <xsl:variable name="tv" select="normalize-space(tvSystem)"/>
      <xsl:choose>
        <xsl:when test="$tv = 'NTSC'"><tvSystem>0</tvSystem></xsl:when>
        <xsl:when test="$tv = 'FILM'"><tvSystem>1</tvSystem></xsl:when>
        <xsl:when test="$tv = 'PAL'"><tvSystem>2</tvSystem></xsl:when>
        <xsl:when test="$tv = 'SECAM'"><tvSystem>3</tvSystem></xsl:when>
      </xsl:choose>
      <xsl:if test="titleDelay">
        <stillTitleVisibleTime><xsl:value-of select="normalize-space(titleDelay)"/></stillTitleVisibleTime>
      </xsl:if>
      <xsl:if test="delay">
        <stillDelay><xsl:value-of select="normalize-space(delay)"/></stillDelay>
      </xsl:if>
      <stillImages>
        <xsl:for-each select="still">
          <StillImage>
            <originalFilename><xsl:value-of select="normalize-space(path)"/></originalFilename>
            <title><xsl:value-of select="normalize-space(caption)"/></title>
          </StillImage>
        </xsl:for-each>
      </stillImages>
      <audios>
        <xsl:for-each select="music">
          <Audio>
            <originalFilename><xsl:value-of select="normalize-space(path)"/></originalFilename>
          </Audio>
        </xsl:for-each>
      </audios>
      <titleSlide>
        <line1><xsl:value-of select="normalize-space(titleLine[1])"/></line1>
        <line2><xsl:value-of select="normalize-space(titleLine[2])"/></line2>
        <line3><xsl:value-of select="normalize-space(titleLine[3])"/></line3>
      </titleSlide>
    </AlbumManifest>
  </xsl:template>
</xsl:stylesheet>
