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
