#include "render/draws/text_layers.h"

#include <cstddef>

#include "core/shared_state.h"
#include "core/track_list.h"
#include "render/draws/gl_api.h"
#include "render/draws/scene_textures.h"
#include "render/moves/logo_pulse.h"
#include "render/moves/random15.h"
#include "render/moves/scroll_ring.h"
#include "render/moves/title_motion.h"

namespace render {

float scrollAngle = 0.0f;
int32_t scrollIndex = 0;

void drawUnitQuad() {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(-1.0f, -1.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, -1.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(-1.0f, 1.0f, 0.0f);
    glEnd();
}

void drawLogo() {
    glPushMatrix();
    glLoadIdentity();
    glBindTexture(GL_TEXTURE_2D, logoTexture);
    glTranslatef(0.1f, 0.3f, -3.5f);
    glColor4f(1.0f, 1.0f, 1.0f, 0.15f);
    for (int32_t copy = 0; copy < kLogoCopies; ++copy) {
        glPushMatrix();
        glTranslatef(0.0f, logoCopyOffset(copy), 0.0f);
        glScalef(logoWidthScale(core::nowMs, copy), 1.0f, 1.0f);
        drawUnitQuad();
        glPopMatrix();
    }
    glPopMatrix();
}

namespace {

void drawSelectedTitle(int32_t index, float flicker) {
    const TitlePose pose = selectedTitlePose(index, core::titleZoom);
    glTranslatef(0.0f, pose.y, pose.z);
    glRotatef(pose.turnDegrees, 0.0f, 0.0f, 1.0f);
    glRotatef(pose.turnDegrees, 0.0f, 1.0f, 0.0f);
    const float blue = highlightBlue(core::nowMs);
    const int32_t travel = mouseTravel(core::mouseX, core::mouseY, core::prevMouseX, core::prevMouseY);
    for (int32_t ghost = 1; ghost <= kTitleGhosts; ++ghost) {
        glPushMatrix();
        glColor4f(0.6f, 0.4f, blue, ghostAlpha(ghost));
        glRotatef(ghostSwingDegrees(core::nowMs, ghost, travel), 0.0f, 0.0f, 1.0f);
        drawUnitQuad();
        glPopMatrix();
    }
    glColor4f(1.0f, 1.0f, 1.0f, 0.8f);
    glScalef(flicker, 1.0f, 1.0f);
    drawUnitQuad();
}

}  // namespace

void drawTitles() {
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(0.1f, 0.65f, -4.6f);
    core::titleZoom = advanceTitleZoom(core::titleZoom, core::frameSeconds);
    for (int32_t i = 0; i < core::trackCount; ++i) {
        glPushMatrix();
        // Drawn for every title, selected or not, so the sequence of random
        // values does not depend on the selection.
        const float flicker = titleFlicker(random15(), core::nowMs);
        glBindTexture(GL_TEXTURE_2D, titleTextures[size_t(i)]);
        if (i == core::currentTrack) {
            drawSelectedTitle(i, flicker);
        } else {
            glColor4f(0.8f, 0.8f, 0.8f, 1.0f);
            glTranslatef(0.0f, listTitleOffset(i), 0.0f);
            drawUnitQuad();
        }
        glPopMatrix();
        glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    }
    glPopMatrix();
}

void drawScroller(float seconds) {
    advanceScroll(scrollAngle, scrollIndex, seconds);
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glLoadIdentity();
    // The cube's centre.
    glTranslatef(0.0f, 0.0f, -5.5f);
    for (int32_t slot = 0; slot < kRingSlots; ++slot) {
        if (ringSlotDepthTested(slot)) {
            glEnable(GL_DEPTH_TEST);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        glPushMatrix();
        const float angle = ringSlotAngle(slot, scrollAngle);
        glRotatef(angle, 0.0f, 1.0f, 0.0f);
        glTranslatef(0.0f, 0.0f, -1.9f);
        glScalef(0.6f, 0.6f, 0.6f);
        glScalef(1.0f, ringSlotStretch(angle), 1.0f);
        const uint8_t code = ringSlotCode(core::scrollText, core::scrollTextLength, scrollIndex, slot);
        glBindTexture(GL_TEXTURE_2D, glyphTextures[code]);
        drawUnitQuad();
        glPopMatrix();
    }
    glPopMatrix();
}

}  // namespace render
