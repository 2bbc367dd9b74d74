-- The engine's own script library. Engine functions never wait themselves: a function that
-- holds the calling context returns at once, and the script yields until the hold is released.
-- Each helper here starts one such wait and yields until it is over.

-- Kept at load time, so a book that replaces the coroutine table still waits properly.
local yield = coroutine.yield

-- Lets the scheduler run everything else once; the context goes on in the next event.
function nextEvent()
  yield()
end

-- Waits until another context calls hvkSignalContext with this context's index.
function waitForSignal()
  local me = hvkCurrentContext()
  hvkWaitContext(me)
  yield()
end

-- Starts `fn` in a new context of the caller's group and returns the new context's index.
function spawn(fn)
  local context = hvkNewContext(0, 0, fn)
  return context
end

-- Starts `fn` in a new context and waits until it has finished.
function runAndWait(fn)
  local me = hvkCurrentContext()
  hvkWaitContext(me)
  spawn(function()
    fn()
    hvkSignalContext(me)
  end)
  yield()
end

-- Waits for that many seconds, whatever the context's animation settings.
function sleep(seconds)
  hvkSleep(seconds)
  yield()
end

-- Animated changes: each waits until its animation ends (at once when animation is off or the
-- duration is 0), timed by the context's current settings.
function moveNode(canvas, node, x, y)
  hvkSetNodePosition(canvas, node, x, y)
  yield()
end

function turnNode(canvas, node, angle)
  hvkSetNodeRotation(canvas, node, angle)
  yield()
end

function scaleNode(canvas, node, sx, sy)
  hvkSetNodeScale(canvas, node, sx, sy)
  yield()
end

function movePoint(canvas, path, command, point, x, y)
  hvkMovePoint(canvas, path, command, point, x, y)
  yield()
end

function fillPath(canvas, path, colour, opacity)
  hvkSetPathFill(canvas, path, colour, opacity)
  yield()
end

function showFrame(canvas, path, time)
  hvkSetAnimationFrame(canvas, path, time)
  yield()
end

function morphPath(canvas, path, shape, x, y, width, height)
  hvkPathTransition(canvas, path, shape, x, y, width, height)
  yield()
end

function colourParagraph(canvas, node, line, colour, opacity)
  hvkSetParagraphColour(canvas, node, line, colour, opacity)
  yield()
end

-- Loads a sound and returns its id once it can be played.
function loadSound(path)
  local sound, loading = hvkLoadSound(path)
  if loading then yield() end
  return sound
end

-- Plays a sound (silent until a fade raises it) and waits until it has finished.
function playSound(sound, loop)
  hvkPlaySound(sound, loop)
  yield()
end

-- Fades a playing sound to a volume and waits until the fade ends.
function fadeSound(instance, volume)
  hvkSetSoundVolume(instance, volume)
  yield()
end

-- The reader's hand.

-- Waits for a click on an active rect.
function waitForClick(rect)
  hvkActivateRectClick(rect)
  yield()
end

-- Waits for the next step of a drag of an active rect (the first step begins the drag) and
-- gives its offset and whether the drag goes on.
function waitForDrag(rect)
  hvkActivateRectDrag(rect)
  yield()
  local dx, dy, dragging = hvkDragState(rect)
  return dx, dy, dragging
end

-- Waits until the pointer is over an active rect (at once when it already is).
function waitForHover(rect)
  if hvkActivateRectHover(rect) then yield() end
end

-- Waits until the pointer leaves an active rect (or, with `orMove`, moves at all); at once when
-- it is not over it.
function waitForLeave(rect, orMove)
  if hvkActivateRectNotHovered(rect, orMove) then yield() end
end

-- Waits for a key: 0 is Escape, the only one there is.
function waitForKey(code)
  hvkWaitKey(code)
  yield()
end

-- Waits for the next pointer press, move or release, and gives its kind and point.
function waitForPointer()
  hvkWaitMouseEvent()
  yield()
  return hvkGetMouseEvent()
end

-- Waits until a row is in view (at once when it is).
function waitForRow(row)
  if not hvkActivateScrollRow(row) then yield() end
end

-- Scrolls the page to a target (a row, the end of the page, or a point of a picture's path) and
-- waits until it is there.
function scrollTo(target, b, c)
  hvkAutoScroll(target, b, c)
  yield()
end

-- Moves the book's own pointer to a point of a labelled canvas (fractions of its width and
-- height, from its bottom left) and waits until it is there.
function glidePointer(label, x, y, assertUnreachable)
  hvkMoveMouse(label, x, y, assertUnreachable or false)
  yield()
  -- The glide's last step is a pointer move queued for after the pass that ended the glide;
  -- the next pass is that move's.
  yield()
end

-- Presses and releases the book's own pointer where it is; the click is handled before the
-- next event.
function click()
  hvkSynthesizeMouse(true)
  hvkSynthesizeMouse(false)
  yield()
end
